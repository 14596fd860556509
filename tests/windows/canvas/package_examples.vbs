' The Windows package's VBA module and ASP page, run under cscript where their hosts are not:
' canvas_wine.sh appends Quillet.bas as VBScript (its declared types and attributes taken out)
' and barcode.asp's script as the procedure RunPage (Wine's VBScript has no ExecuteGlobal).
' Excel's sheet, Access's Image control, VBA's Environ and Kill, and IIS's Request, Response and
' Server are stood in for here.
Option Explicit
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim failures : failures = 0
Sub Check(condition, what)
    If Not condition Then
        failures = failures + 1
        WScript.Echo "FAILED: " & what
    End If
End Sub

' The first bytes of a file, as text.
Function Signature(path, count)
    Signature = ""
    If fso.FileExists(path) Then Signature = fso.OpenTextFile(path).Read(count)
End Function

Function Environ(name)
    If name = "TEMP" Then Environ = fso.GetSpecialFolder(2).Path
End Function

Sub Kill(path)
    fso.DeleteFile path
End Sub

' --- Quillet.bas ---
Class ShapesStandIn
    Public Added
    Public Function AddPicture(file, linkToFile, saveWithDocument, left, top, width, height)
        ' An enhanced metafile: record 1 (the header), " EMF" at byte 41.
        Added = Mid(Signature(file, 44), 41, 4) = " EMF" And Not linkToFile And saveWithDocument
        Set AddPicture = Me
    End Function
End Class
Class SheetStandIn
    Public Shapes
    Private Sub Class_Initialize
        Set Shapes = New ShapesStandIn
    End Sub
End Class
Class ImageStandIn
    Public PictureType
    Public Format
    Public Property Let Picture(path)
        Format = Mid(Signature(path, 4), 2, 3)
    End Property
End Class

Dim sheet : Set sheet = New SheetStandIn
InsertBarcode sheet, "EAN13", "400638133393", 10, 10
Check sheet.Shapes.Added, "InsertBarcode adds an embedded EMF to the sheet"
Check Not fso.FileExists(Environ("TEMP") & "\quillet-barcode.emf"), "the EMF's file is removed"
Dim image : Set image = New ImageStandIn
ShowBarcode image, "CODE128", "BORDER-42"
Check image.PictureType = 0 And image.Format = "PNG", "ShowBarcode embeds a PNG: " & image.Format
Check DrawBarcode("CODE39", "CODE39").Picture.Width > 0, "DrawBarcode's canvas gives a Picture"
Function RaisedBy(kind, code)
    On Error Resume Next
    DrawBarcode kind, code
    RaisedBy = Err.Number & " " & Err.Description
End Function
Dim raised : raised = RaisedBy("CODE128", "Aa")
Check InStr(raised, "94 Barcode CODE128 a not drawn: Invalid use of Null") = 1, _
    "a symbol not drawn raises its result: " & raised
' --- end ---

' --- barcode.asp ---
Class RequestStandIn
    Public Text
    Public Function QueryString(name)
        If name = "text" Then QueryString = Text
    End Function
End Class
Class ResponseStandIn
    Public Status
    Public ContentType
    Public Written
    Public Bytes
    ' Wine's VBScript cannot measure a byte array: its type is what is checked (the C++ client
    ' compares PictureData's bytes with the file).
    Public Sub BinaryWrite(data)
        Bytes = VarType(data)
    End Sub
    Public Sub Write(text)
        Written = Written & text
    End Sub
End Class
Class ServerStandIn
    Public Function CreateObject(progId)
        Set CreateObject = WScript.CreateObject(progId)
    End Function
End Class
Dim Request, Response, Server : Set Server = New ServerStandIn

Dim rows : rows = Array( _
    Array("HELLO-123", "", "image/png"), _
    Array("TAB" & vbTab, "500 Internal Server Error", "text/plain"))
Dim row, imageExpected
For Each row In rows
    Set Request = New RequestStandIn
    Request.Text = row(0)
    Set Response = New ResponseStandIn
    RunPage
    Check Response.Status = row(1) And Response.ContentType = row(2), _
        "barcode.asp?text=" & row(0) & ": " & Response.Status & " " & Response.ContentType
    imageExpected = row(1) = ""
    Check imageExpected = (Response.Bytes = vbArray + vbByte), "barcode.asp?text=" & row(0) & _
        ": image bytes " & Response.Bytes & ", text " & Response.Written
Next
' --- end ---

If failures = 0 Then WScript.Echo "Package examples: all checks passed"
WScript.Quit failures
' Appended below: Quillet.bas, then barcode.asp as Sub RunPage.
