' Sorbel.ckxDataPak from VBScript: late binding by name through IDispatch.
' Prints one line per failed check and a closing line
' "vbs: N passed, M failed"; a script that stops on an error prints no
' closing line, which its runner treats as a failure.
' Literal arguments of by-reference parameters are parenthesised so that
' VBScript passes them by value.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(name, condition)
    If condition Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL: " & name
    End If
End Sub

Dim p, q, pkg, bad, faultNumber, faultText
Set p = CreateObject("Sorbel.ckxDataPak")
Check "new TypeID", p.TypeID = 1000
Check "new ErrorNumber", p.ErrorNumber = 0
Check "new Count", p.Count = 0

p.Title = "Report"
p.Category = "Docs"
Check "Title", p.Title = "Report"
Check "Category", p.Category = "Docs"

' Records by key.
p.Append ("k1"), ("one")
p.Append ("k2"), ("two")
p.Data("k3") = "three"
Check "Count after adding", p.Count = 3
Check "Data get", p.Data("k2") = "two"
Check "FindKey", p.FindKey("k3") = 2
Check "Length", p.Length("k3") = 5
p.Insert ("k0"), ("zero"), ("k1")
Check "Insert before", p.RecordKey(0) = "k0"
p.Edit ("k2"), ("TWO")
Check "Edit", p.Data("k2") = "TWO"

' Records by position.
Check "Record get", p.Record(1) = "one"
p.Record(6) = "six"
Check "Record let extends", p.Count = 7
Check "extension key is empty", p.RecordKey(5) = ""
p.RecordKey(6) = "k6"
Check "RecordKey let", p.FindKey("k6") = 6
p.RecordDelete (5)
Check "RecordDelete", p.Count = 6 And p.RecordKey(5) = "k6"

' Refusals set the error number and leave the object alone.
Check "FindKey absent", p.FindKey("absent") = -1
Check "error after refusal", p.ErrorNumber = -4
Check "TypeID keeps error", p.TypeID = 1000 And p.ErrorNumber = -4
p.Append (String(256, "x")), ("v")
Check "key too long", p.ErrorNumber = -2 And p.Count = 6
Check "Record beyond the end", p.Record(99) = "" And p.ErrorNumber = -4
Check "FindData", p.FindData("three") = 3 And p.ErrorNumber = 0

' Byte arrays as scripts see them (VT_ARRAY | VT_UI1). Wine's VBScript has
' no LBound or UBound for them, so their content is checked through the object.
Dim bytes
bytes = p.DataB("k1")
Check "DataB type", VarType(bytes) = 8209
p.DataB("copy") = bytes
Check "DataB let from a script array", p.Data("copy") = "one"
Check "FindDataB", p.FindDataB(bytes) = 1

' A package round trip through a second object.
pkg = p.Package
Check "Package type", VarType(pkg) = 8209
Set q = CreateObject("Sorbel.ckxDataPak")
q.Package = pkg
Check "package loaded", q.ErrorNumber = 0
Check "package title", q.Title = "Report" And q.Category = "Docs"
Check "package records", q.Count = p.Count And q.Data("k3") = "three" And q.RecordKey(5) = "k6"

' A refused package (3 bytes) leaves the second object as it was.
bad = p.DataB("k1")
q.Package = bad
Check "refused package", q.ErrorNumber = -100
Check "refused package keeps records", q.Count = 7 And q.Title = "Report"

' A fault raises a run-time error with a description; nothing else changes.
Check "before the fault", p.FindKey("absent") = -1
On Error Resume Next
p.RecordB(1999999999) = bytes
faultNumber = Err.Number
faultText = Err.Description
On Error GoTo 0
Check "fault raises an error (" & faultNumber & ")", faultNumber = 7 Or faultNumber = &H8007000E
Check "fault description (" & faultText & ")", InStr(faultText, "RecordB") > 0
Check "fault keeps error number", p.ErrorNumber = -4
Check "fault keeps records", p.Count = 7

' Variables passed without parentheses arrive as VARIANT references.
Dim key, value
key = "byVariable"
value = "passed by reference"
p.Append key, value
Check "variables by reference", p.Data(key) = "passed by reference" And p.ErrorNumber = 0
Check "variables are not written", key = "byVariable" And value = "passed by reference"

' The same variables reused in every kind of call, many times over: a member
' that freed or replaced a variable's string or array would leave it pointing
' at reused memory within a few rounds (or crash the script). Each variable
' must still read back its original content after each call. Byte arrays are
' compared through CStr, which packs two bytes into each character; the
' copies are taken by assignment, which copies an array. Churn allocates
' strings and arrays of the same sizes, so that freed memory is reused at once.
Dim r, t, rKey, rValue, rTitle, rBytes, rBytesCopy, rPkg, rPkgCopy, rIndex, roundsOk, junk(7)

Sub Churn()
    junk(0) = String(Len("reused key"), "#")
    junk(1) = String(Len("reused value"), "#")
    junk(2) = String(Len("Reused title"), "#")
    junk(3) = p.DataB("k1")
    junk(4) = r.Package
    junk(5) = p.DataB("k1")
    junk(6) = String(Len("reused key"), "%")
    junk(7) = String(Len("reused value"), "%")
End Sub
Set r = CreateObject("Sorbel.ckxDataPak")
rKey = "reused key"
rValue = "reused value"
rTitle = "Reused title"
rIndex = 0
rBytes = p.DataB("k1")
rBytesCopy = rBytes
r.Append ("seed"), ("x")
rPkg = r.Package
rPkgCopy = rPkg
roundsOk = 0
For t = 1 To 50
    r.Package = rPkg
    Churn
    If r.ErrorNumber <> 0 Or r.Count <> 1 Then Exit For
    r.Title = rTitle
    Churn
    r.Append rKey, rValue
    Churn
    r.Data(rKey) = rValue
    Churn
    If r.Data(rKey) <> rValue Or r.Title <> rTitle Then Exit For
    If rKey <> "reused key" Or rValue <> "reused value" Or rTitle <> "Reused title" Then Exit For
    r.DataB(rKey) = rBytes
    Churn
    r.AppendB rKey, rBytes
    Churn
    r.RecordKey(rIndex) = rKey
    Churn
    If r.FindDataB(rBytes) <> 1 Or r.RecordKey(rIndex) <> rKey Or r.Count <> 3 Then Exit For
    If VarType(rBytes) <> 8209 Or CStr(rBytes) <> CStr(rBytesCopy) Then Exit For
    If VarType(rPkg) <> 8209 Or CStr(rPkg) <> CStr(rPkgCopy) Then Exit For
    If rIndex <> 0 Or r.ErrorNumber <> 0 Then Exit For
    roundsOk = roundsOk + 1
Next
Check "variables reused over 50 rounds (" & roundsOk & " whole rounds)", roundsOk = 50
Check "reused strings read back", rKey = "reused key" And rValue = "reused value" And rTitle = "Reused title"
Check "reused arrays read back", CStr(rBytes) = CStr(rBytesCopy) And CStr(rPkg) = CStr(rPkgCopy)

WScript.Echo "vbs: " & passed & " passed, " & failed & " failed"
