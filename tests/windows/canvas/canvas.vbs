' Quillet.Canvas from a script host: every barcode type drawn through the control at 96 and 300
' DPI and saved as PNG (decode_pictures reads them back), then the errors a script sees.
'   cscript canvas.vbs SYMBOLS_TABLE OUTPUT_FOLDER
Option Explicit

Dim failures : failures = 0
Sub Check(condition, what)
    If Not condition Then
        failures = failures + 1
        WScript.Echo "FAILED: " & what
    End If
End Sub

Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim table : table = WScript.Arguments(0)
Dim folder : folder = WScript.Arguments(1)
Dim control : Set control = CreateObject("QUILLETPRO.Quillet")
Dim canvas : Set canvas = CreateObject("Quillet.Canvas")

' Each method of the control by its name in the table.
Function Draw(method, target, code, width, ratio, chk)
    Dim x : x = 300
    Dim y : y = 150
    Select Case method
        Case "BarCODABAR": Draw = control.BarCODABAR(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarCODE11": Draw = control.BarCODE11(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarCODE128": Draw = control.BarCODE128(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarCODE25": Draw = control.BarCODE25(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarCODE39": Draw = control.BarCODE39(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarCODE39F": Draw = control.BarCODE39F(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarCODE93": Draw = control.BarCODE93(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarEAN13": Draw = control.BarEAN13(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarEAN8": Draw = control.BarEAN8(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarISBN": Draw = control.BarISBN(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarMSI": Draw = control.BarMSI(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarPOSTNET": Draw = control.BarPOSTNET(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarUPCA": Draw = control.BarUPCA(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarUPCAPlus": Draw = control.BarUPCAPlus(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case "BarUPCE": Draw = control.BarUPCE(target, x, y, code, width, 1200, 1, False, "Arial", 0, 0, ratio, chk)
        Case Else: Draw = -1
    End Select
End Function

Dim dpi, stream, fields, code, result, path
For Each dpi In Array(96, 300)
    Set stream = fso.OpenTextFile(table)
    Do Until stream.AtEndOfStream
        fields = Split(stream.ReadLine, vbTab)
        If UBound(fields) >= 7 And Left(fields(0), 1) <> "#" Then
            ' A fresh picture of 10 x 1.5 inches; the size in twips does not change with the DPI.
            canvas.Resolution = dpi
            canvas.Width = 14400
            canvas.Height = 2160
            code = fields(2)
            ' Modules of two pixels on a screen: zbar misses some symbols drawn with one.
            Dim width : width = CInt(fields(3))
            If dpi < 100 Then width = width * 2
            result = Draw(fields(1), canvas, code, width, fields(4), CBool(fields(5)))
            Check result = 0, fields(0) & " at " & dpi & " DPI: result " & result
            path = fso.BuildPath(folder, fields(0) & "_" & dpi & ".png")
            canvas.SavePicture path
            Check fso.FileExists(path), path & " written"
        End If
    Loop
    stream.Close
Next
Check canvas.Width = 14400 And canvas.Height = 2160, "size in twips kept at 300 DPI"
canvas.ScaleMode = 3
Check canvas.Width = 3000 And canvas.Height = 450, "size in pixels at 300 DPI: " & canvas.Width
canvas.ScaleMode = 1

' Texts of several lines are measured line by line; positions far off the picture are clipped.
Check canvas.TextHeight("1" & vbCrLf & "2") = 2 * canvas.TextHeight("1"), "two lines high"
Check canvas.TextWidth("12" & vbCr & "1") = canvas.TextWidth("12"), "as wide as the widest line"
canvas.Line 38, -1E+300, 0, 1E+300, 10
canvas.Line 32, 0, 0, 1E+300, 1E+300

' The other formats, by extension, upper case included.
canvas.SavePicture fso.BuildPath(folder, "last.BMP")
canvas.SavePicture fso.BuildPath(folder, "last.emf")
Check fso.GetFile(fso.BuildPath(folder, "last.BMP")).Size = 54 + 3000 * 3 * 450, "BMP size"
Check fso.GetFile(fso.BuildPath(folder, "last.emf")).Size > 1000, "EMF written"

' Errors: number and text as a script sees them, and no file left behind under any name.
Dim filesBefore : filesBefore = fso.GetFolder(folder).Files.Count
Sub Expect(number, text, what)
    Check Err.Number = number And Err.Description = text, what & ": " & Err.Number & " " & Err.Description
    Err.Clear
End Sub
On Error Resume Next
canvas.SavePicture fso.BuildPath(folder, "picture.gif")
Expect 5, "Invalid procedure call or argument", "unknown extension"
canvas.SavePicture fso.BuildPath(folder, "missing\picture.png")
Expect 76, "Path not found", "missing folder"
canvas.SavePicture folder & "\"
Expect 5, "Invalid procedure call or argument", "no file name"
canvas.Width = 2000000000
Expect 480, "Can't create AutoRedraw image", "width beyond GDI"
canvas.Height = 1440 * 2000
Expect 480, "Can't create AutoRedraw image", "2000 inches high at 300 DPI"
canvas.Width = 0
Expect 380, "Invalid property value", "width 0"
canvas.Resolution = 0
Expect 380, "Invalid property value", "resolution 0"
canvas.ScaleMode = 4
Expect 380, "Invalid property value", "ScaleMode 4"
canvas.FontSize = -1
Expect 380, "Invalid property value", "FontSize -1"
canvas.Line 4, 0, 0, 10, 10
Expect 5, "Invalid procedure call or argument", "Line filled but not a box"
On Error GoTo 0
Check fso.GetFolder(folder).Files.Count = filesBefore, "no file written by a failed call"
' A failed resize keeps the picture as it was.
Check canvas.Width = 14400 And canvas.Height = 2160, "size kept after failed resizes: " & canvas.Width

' A path that cannot be written: the folder itself taken as the file.
Dim directory : directory = fso.BuildPath(folder, "taken.png")
If Not fso.FolderExists(directory) Then fso.CreateFolder directory
On Error Resume Next
canvas.SavePicture directory
Check Err.Number = 75, "a folder as the target: " & Err.Number & " " & Err.Description
On Error GoTo 0
Check fso.GetFolder(folder).Files.Count = filesBefore, "no temporary file left behind"

If failures = 0 Then WScript.Echo "Canvas from VBScript: all checks passed"
WScript.Quit failures
