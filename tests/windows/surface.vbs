' A VBScript caller: a script class is the drawing surface, the variables are passed the way
' a script engine passes them (references to variants), and pCode comes back normalised.
Option Explicit

Dim failures : failures = 0
Sub Check(condition, what)
    If Not condition Then
        failures = failures + 1
        WScript.Echo "FAILED: " & what
    End If
End Sub

Class Surface
    Public FontName
    Public ForeColor
    Public FontBold
    Public FontSize
    Public CurrentX
    Public CurrentY
    Public Boxes
    Public Printed
    Private Sub Class_Initialize()
        Boxes = 0 : Printed = ""
    End Sub
    Public Function TextWidth(text)
        TextWidth = FontSize * 12 * Len(text)
    End Function
    Public Function TextHeight(text)
        TextHeight = FontSize * 24
    End Function
    Public Sub Line(flags, x1, y1, x2, y2, color)
        Boxes = Boxes + 1
    End Sub
    Public Sub Print(text)
        Printed = Printed & text
    End Sub
End Class

' A drawing object without a "Line" member.
Class NoLines
    Public FontName
    Public ForeColor
    Public FontBold
    Public FontSize
    Public Function TextWidth(text)
        TextWidth = 0
    End Function
End Class

Dim control : Set control = CreateObject("QUILLETPRO.Quillet")
Dim target : Set target = New Surface
Dim code : code = "CODE39"
Dim result
result = control.BarCODE39(target, 0, 0, code, 15, 1200, 1, False, "Arial", 0, 0, "3:1", True)
Check result = 0, "BarCODE39 result " & result
Check code = "CODE39W", "pCode written back: " & code
Check target.Boxes = 89, "boxes painted: " & target.Boxes
Check target.FontName = "Arial" And target.FontSize = 7 And target.FontBold = False, "font set"
Check target.Printed = "CODE39W", "text printed: " & target.Printed
Check target.CurrentX = 693 And target.CurrentY = 1260, "text position"

' Literals instead of variables draw the same and write nothing back.
result = control.BarCODE39(target, 0, 0, "CODE39", 15, 1200, 1, False, "Arial", 0, 0, "3:1", True)
Check result = 0, "literal arguments"

Dim number : number = 123
result = control.BarCODE39(New Surface, 0.5, 0, number, 15, 1200, 0, False, "Arial", 0, 0, "3:1", True)
Check result = 0 And number = "1236", "a numeric variable comes back as text: " & number

code = "AB"
result = control.BarCODE39(New NoLines, 0, 0, code, 15, 1200, 1, False, "Arial", 0, 0, "3:1", False)
Check result = 438, "a surface without Line: " & result

result = control.BarCODE39(Nothing, 0, 0, code, 15, 1200, 1, False, "Arial", 0, 0, "3:1", False)
Check result = 91, "Nothing as the surface: " & result

On Error Resume Next
result = control.BarCODE39(target, 0, 0, code, 15, 1200, 1, False, "Arial", 0, 0, "3", False)
Check Err.Number = 5, "a ratio without a colon raises 5: " & Err.Number
Err.Clear
control.SupBarType = 40000
Check Err.Number = 6, "SupBarType overflow raises 6: " & Err.Number
Err.Clear
On Error GoTo 0

control.SupBarType = 99
Check control.SupBarType = 99, "SupBarType stores 99"

If failures = 0 Then WScript.Echo "VBScript client: all checks passed"
WScript.Quit failures
