' A script client of DocFile.dll: creates both classes by ProgID and calls
' them by name. Usage: cscript //nologo late_bound.vbs DOCUMENT MISSING
' The document is the sample written by com_client (package of 23 bytes).
' The runner requires the closing line "late_bound: PASS": a script that stops
' on an error prints nothing more, and Wine's cscript still exits 0.
Option Explicit
Dim failures, doc, missing, header, reader, data, status, i
failures = 0

Sub Expect(name, actual, expected)
    If actual <> expected Then
        WScript.Echo "FAIL " & name & ": " & actual & ", expected " & expected
        failures = failures + 1
    End If
End Sub

doc = WScript.Arguments(0)
missing = WScript.Arguments(1)

Set header = CreateObject("DocFile.ckxDocHeader")
Expect "Status before FileSpec", header.Status, 1
header.FileSpec = doc
Expect "Status", header.Status, 0
Expect "PackageOffset", header.PackageOffset, 20
Expect "PackageLength", header.PackageLength, 23
header.FileSpec = missing
Expect "Status of a missing file", header.Status, 1

Set reader = CreateObject("DocFile.ckxFileBlock")
data = Empty
status = -1
reader.ReadBlock doc, 21, 23, data, status
Expect "ReadBlock status", status, 0
Expect "ReadBlock type", TypeName(data), "Byte()"
Expect "ReadBlock size", UBound(data) - LBound(data) + 1, 23
Expect "ReadBlock first byte", AscB(MidB(data, 1, 1)), 0
Expect "ReadBlock type id byte", AscB(MidB(data, 4, 1)), 232
Expect "ReadBlock title byte", AscB(MidB(data, 15, 1)), 84

reader.ReadBlock doc, 0, 1, data, status
Expect "ReadBlock status outside", status, 3
Expect "ReadBlock data outside", IsEmpty(data) Or IsNull(data) Or TypeName(data) = "Byte()", True

If failures = 0 Then
    WScript.Echo "late_bound: PASS"
Else
    WScript.Echo "late_bound: " & failures & " FAILED"
End If
