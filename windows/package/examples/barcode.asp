<%@ Language="VBScript" %>
<%
' A classic ASP page that answers with a Code 128 barcode as a PNG image, drawn in memory (no
' file on the server, so that concurrent requests share nothing):
'     <img src="barcode.asp?text=HELLO-123">
' The symbol is drawn in Code 128 set B (letters, digits, punctuation). When it cannot be drawn
' (a control character in the text, or text too long for the picture's coordinates) the page
' answers 500 with a short text and no image. README.txt has the IIS setup: the application
' pool's bitness, and registration for all users so that the pool's identity finds the classes.
Option Explicit

Dim control, canvas, code, result
code = "B" & Request.QueryString("text")
Set control = Server.CreateObject("QUILLETPRO.Quillet")
Set canvas = Server.CreateObject("Quillet.Canvas")
canvas.Resolution = 300                    ' pixels per inch; sizes stay in twips
canvas.Width = 5760 : canvas.Height = 1800 ' 4 x 1.25 inches
result = control.BarCODE128(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
If result = 0 Then
    Response.ContentType = "image/png"
    Response.BinaryWrite canvas.PictureData("png")
Else
    ' Nothing of a half-drawn picture goes out: the status tells the browser there is no image.
    Response.Status = "500 Internal Server Error"
    Response.ContentType = "text/plain"
    Response.Write "Barcode not drawn: result " & result
End If
%>
