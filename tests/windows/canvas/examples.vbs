' The README's examples of Quillet.Canvas, run under cscript by the canvas tests: each section
' between "--- name ---" lines is quoted there as it stands.
'   cscript examples.vbs OUTPUT_FOLDER
Option Explicit
Dim folder : folder = WScript.Arguments(0)
Dim failures : failures = 0
Sub Check(condition, what)
    If Not condition Then
        failures = failures + 1
        WScript.Echo "FAILED: " & what
    End If
End Sub

' A web server's Response object, for running the page's code outside a web server.
Class ResponseStandIn
    Public ContentType
    Public Written
    Public Sub BinaryWrite(bytes)
        Written = VarType(bytes)
    End Sub
End Class
Dim Response : Set Response = New ResponseStandIn

' --- VBScript ---
Dim control, canvas, code, result
Set control = CreateObject("QUILLETPRO.Quillet")
Set canvas = CreateObject("Quillet.Canvas")
canvas.Resolution = 300                       ' pixels per inch; sizes stay in twips
canvas.Width = 2880 : canvas.Height = 1800    ' 2 x 1.25 inches
code = "400638133393"
result = control.BarEAN13(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
If result <> 0 Then WScript.Echo "not drawn: error " & result
canvas.SavePicture folder & "\ean13.png"      ' .png, .bmp or .emf by the extension
' --- end ---
Check result = 0 And code = "400638133393", "EAN-13 drawn, pCode " & code

' --- Office ---
' The same drawing for a document: an EMF prints sharp at any size.
canvas.SavePicture folder & "\ean13.emf"
Dim picture : Set picture = canvas.Picture    ' for an Image control: Image1.Picture = canvas.Picture
' --- end ---
Check picture.Width > 0 And picture.Height > 0, "Picture has a size"

' --- ASP ---
Response.ContentType = "image/png"
Response.BinaryWrite canvas.PictureData("png")
' --- end ---
' The bytes themselves are compared with the file by the C++ client.
Check Response.Written = vbArray + vbByte, "PictureData gives bytes: VarType " & Response.Written

If failures = 0 Then WScript.Echo "Canvas examples: all checks passed"
WScript.Quit failures
