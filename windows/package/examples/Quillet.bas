Attribute VB_Name = "QuilletBarcodes"
' Barcodes in Excel and Access with the Quillet control, drawn onto Quillet.Canvas and put into a
' sheet, a form or a report. Late bound: no reference to set. Import this file into the VBA
' project (File > Import File...) once both DLLs are registered in Office's bitness (README.txt;
' the installer registers both bitnesses). Then, in Excel:
'     InsertBarcode ActiveSheet, "EAN13", "400638133393", ActiveCell.Left, ActiveCell.Top
' in an Access report's Detail_Format (an Image control named Barcode):
'     ShowBarcode Me.Barcode, "CODE128", "B" & Me.OrderNumber
' on a UserForm, into an Image control, without a file:
'     Set Image1.Picture = DrawBarcode("CODE39", "CODE39").Picture
Option Explicit

' Draws one symbol onto a new canvas of 3 x 1.25 inches at 300 pixels per inch and returns the
' canvas. KIND is EAN13, UPCA, CODE39 or CODE128 (Code 128 data starts with its set: A, B or C).
' A symbol that is not drawn raises the method's result as the error, with its meaning.
Public Function DrawBarcode(ByVal kind As String, ByVal code As String) As Object
    Dim control As Object, canvas As Object, result As Integer
    Set control = CreateObject("QUILLETPRO.Quillet")
    Set canvas = CreateObject("Quillet.Canvas")
    canvas.Resolution = 300                    ' pixels per inch; sizes stay in twips
    canvas.Width = 4320: canvas.Height = 1800  ' 3 x 1.25 inches
    ' pX, pY, pWidth (one module: 15 twips is one pixel at 96 DPI, three at 300) and pHeight
    ' in twips; pText 1 writes the text, in Arial, black on the white picture.
    Select Case UCase(kind)
    Case "EAN13": result = control.BarEAN13(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
    Case "UPCA": result = control.BarUPCA(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
    Case "CODE39": result = control.BarCODE39(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "3:1", False)
    Case "CODE128": result = control.BarCODE128(canvas, 150, 100, code, 15, 1200, 1, False, "Arial", 0, 0, "", False)
    Case Else: Err.Raise 5, "QuilletBarcodes", "No such barcode kind: " & kind
    End Select
    If result <> 0 Then Err.Raise result, "QuilletBarcodes", "Barcode " & kind & " " & code & _
        " not drawn: " & QuilletErrorText(result)
    Set DrawBarcode = canvas
End Function

' Excel: puts the symbol on SHEET at leftEdge, topEdge (points) as an EMF picture, which stays sharp at
' any zoom and in print, and returns the new Shape.
Public Function InsertBarcode(ByVal sheet As Object, ByVal kind As String, ByVal code As String, _
                             ByVal leftEdge As Single, ByVal topEdge As Single) As Object
    Dim path As String
    path = Environ("TEMP") & "\quillet-barcode.emf"
    DrawBarcode(kind, code).SavePicture path
    ' Embedded, not linked: the picture stays when the file goes.
    Set InsertBarcode = sheet.Shapes.AddPicture(path, False, True, leftEdge, topEdge, -1, -1)
    Kill path
End Function

' Access: shows the symbol in an Image control of a form or report, embedded as a PNG file.
Public Sub ShowBarcode(ByVal image As Object, ByVal kind As String, ByVal code As String)
    Dim path As String
    path = Environ("TEMP") & "\quillet-barcode.png"
    DrawBarcode(kind, code).SavePicture path
    image.PictureType = 0                      ' embedded
    image.Picture = path
    Kill path
End Sub

' What a result or error number of the control or the canvas means (README.txt has the table).
Public Function QuilletErrorText(ByVal number As Long) As String
    Select Case number
    Case 0: QuilletErrorText = "drawn"
    Case 5: QuilletErrorText = "Invalid procedure call or argument (data the symbology cannot take, a ratio without a colon, an unknown picture format)"
    Case 6: QuilletErrorText = "Overflow (a position, size or check sum beyond -32768 to 32767: a smaller pX, pWidth or pHeight, or shorter data)"
    Case 7: QuilletErrorText = "Out of memory"
    Case 9: QuilletErrorText = "Subscript out of range (a character the symbology has no pattern for)"
    Case 13: QuilletErrorText = "Type mismatch (a character that is not a digit where the symbology needs digits, or a value of the wrong type)"
    Case 61: QuilletErrorText = "Disk full"
    Case 75: QuilletErrorText = "Path/File access error (the picture file cannot be written)"
    Case 76: QuilletErrorText = "Path not found (the picture file's folder does not exist)"
    Case 91: QuilletErrorText = "Object variable or With block variable not set (no drawing object)"
    Case 94: QuilletErrorText = "Invalid use of Null (a Code 128 set A character after the underscore, such as a lower-case letter)"
    Case 380: QuilletErrorText = "Invalid property value (the drawing object refused a value: a negative pWidth, a size below 1)"
    Case 438: QuilletErrorText = "Object doesn't support this property or method (the drawing object lacks a member)"
    Case 480: QuilletErrorText = "Can't create AutoRedraw image (the picture is larger than Windows allocates)"
    Case Else: QuilletErrorText = "error " & number & " raised by the drawing object"
    End Select
End Function
