' Draws one EAN-13 symbol with the Quillet control from VBScript:
'     cscript //nologo draw.vbs
' The drawing object is a class of the script's own that prints what it is asked to draw; in VBA
' or VB6 pass a PictureBox, a Form or the Printer instead.
Option Explicit

Class Surface
    Public FontName
    Public ForeColor
    Public FontBold
    Public FontSize
    Public CurrentX
    Public CurrentY
    Public Boxes
    Public Function TextWidth(text) : TextWidth = FontSize * 12 * Len(text) : End Function
    Public Function TextHeight(text) : TextHeight = FontSize * 24 : End Function
    Public Sub Line(flags, x1, y1, x2, y2, color) : Boxes = Boxes + 1 : End Sub
    Public Sub Print(text) : WScript.Echo "text " & text & " at " & CurrentX : End Sub
End Class

Dim barcode, target, code, result
Set barcode = CreateObject("QUILLETPRO.Quillet")
Set target = New Surface
target.Boxes = 0
code = "400638133393"
result = barcode.BarEAN13(target, 0, 0, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
WScript.Echo "result " & result & ", " & target.Boxes & " boxes, pCode " & code
