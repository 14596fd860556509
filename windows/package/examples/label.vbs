' Draws one EAN-13 label with the Quillet control onto Quillet.Canvas, a drawing object for hosts
' that have none (VBScript, Office VBA, classic ASP), and saves it as a PNG file:
'     cscript //nologo label.vbs [FILE.png]
' Without FILE the picture goes to ean13.png beside this script. Both DLLs must be registered
' in the script host's bitness (see README.txt).
Option Explicit

Dim fso, path, control, canvas, code, result
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then
    path = WScript.Arguments(0)
Else
    path = fso.BuildPath(fso.GetParentFolderName(WScript.ScriptFullName), "ean13.png")
End If

Set control = CreateObject("QUILLETPRO.Quillet")
Set canvas = CreateObject("Quillet.Canvas")
canvas.Resolution = 300                       ' pixels per inch; sizes stay in twips
canvas.Width = 2880 : canvas.Height = 1800    ' 2 x 1.25 inches
code = "400638133393"
result = control.BarEAN13(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
If result = 0 Then canvas.SavePicture path   ' .png, .bmp or .emf by the extension
WScript.Echo "result " & result & ", pCode " & code & ", saved " & path
