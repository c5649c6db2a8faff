' A script client of DocFile.dll: creates both classes by ProgID and calls
' them by name. Usage: cscript //nologo late_bound.vbs DOCUMENT MISSING SAMPLE
' The document is the sample written by docfile_com_test (package of 23 bytes).
' The runner (tests/com/run_script_test.sh) requires the closing line
' "vbs: N passed, 0 failed": a script that stops on an error prints nothing
' more, and Wine's cscript still exits 0.
Option Explicit
Dim passes, failures, doc, missing, header, reader, data, status, packed
passes = 0
failures = 0

Sub Expect(name, actual, expected)
    If actual <> expected Then
        WScript.Echo "FAIL " & name & ": " & actual & ", expected " & expected
        failures = failures + 1
    Else
        passes = passes + 1
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
' The bytes come back as a Byte() array. CStr packs them two to a character,
' the first byte low; reading two bytes whose second is 0 gives a character
' whose code is the first byte (Wine's script engine has no AscW or indexing
' of byte arrays, so this is how the bytes are looked at).
data = "not bytes yet"
status = -1
reader.ReadBlock doc, 21, 23, data, status
Expect "ReadBlock status", status, 0
Expect "ReadBlock type", VarType(data), vbArray + vbByte
Expect "ReadBlock length", Len(CStr(data)), 11
' Package bytes 7 and 8: the low byte of its size field (23), the category length 0.
reader.ReadBlock doc, 28, 2, data, status
Expect "ReadBlock size byte status", status, 0
Expect "ReadBlock size byte", Asc(CStr(data)), 23

' Constants and parenthesised arguments are passed by value; the outs still arrive.
' File bytes 11 and 12: the version's low byte (1), P's high byte (0).
status = -1
reader.ReadBlock (doc), (12), (2), data, status
Expect "ReadBlock version byte status", status, 0
Expect "ReadBlock version byte", Asc(CStr(data)), 1

reader.ReadBlock doc, 0, 1, data, status
Expect "ReadBlock outside status", status, 3
reader.ReadBlock doc, 44, 2147483647, data, status
Expect "ReadBlock huge status", status, 3
reader.ReadBlock missing, 1, 1, data, status
Expect "ReadBlock missing status", status, 1

' The viewer's sequence on one set of variables, many times: the package of
' the sample document (third argument), one byte short and then whole, read
' into the same variable and handed to Sorbel's Package let, then read into it
' again. A server that freed the variable's array would make the next read
' free it a second time (a crash: no closing line) or change what the
' variable reads back.
Dim sample, pak, p, l, rounds, round, copy, shortCopy, shortData, i
sample = WScript.Arguments(2)
header.FileSpec = sample
Expect "sample Status", header.Status, 0
p = header.PackageOffset
l = header.PackageLength
Set pak = CreateObject("Sorbel.ckxDataPak")
rounds = 0
For round = 1 To 30
    reader.ReadBlock (sample), (p + 1), (l - 1), data, status
    If status <> 0 Then Exit For
    shortCopy = data
    pak.Package = data
    If pak.ErrorNumber <> -120 Or CStr(data) <> CStr(shortCopy) Then Exit For
    reader.ReadBlock (sample), (p + 1), (l), data, status
    If status <> 0 Then Exit For
    copy = data
    pak.Package = data
    If pak.ErrorNumber <> 0 Or pak.Count = 0 Or CStr(data) <> CStr(copy) Then Exit For
    ' Same-sized allocations reuse whatever was freed.
    For i = 1 To 3
        shortData = pak.Package
    Next
    reader.ReadBlock (sample), (p + 1), (l - 1), data, status
    If status <> 0 Or CStr(data) <> CStr(shortCopy) Then Exit For
    rounds = rounds + 1
Next
Expect "rounds of ReadBlock and Package let", rounds, 30
' Variables passed for the in-parameters are read, not rewritten.
Dim start, length
start = p + 1
length = CStr(l)
reader.ReadBlock sample, start, length, data, status
Expect "ReadBlock with variables status", status, 0
Expect "start variable", start, p + 1
Expect "length variable keeps its type", VarType(length), vbString
pak.Package = data
Expect "package read with variables", pak.ErrorNumber, 0
If rounds = 30 Then WScript.Echo "late_bound: package sequence " & rounds & " rounds"

WScript.Echo "vbs: " & passes & " passed, " & failures & " failed"
