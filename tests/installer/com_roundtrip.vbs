' Uses the COM classes of an installed Orlenne package the way a script client does:
' by programmatic identifier, late bound. Run as
'   cscript //nologo com_roundtrip.vbs "<install folder>"
' It round-trips a package through two Sorbel.ckxDataPak objects, then opens every
' installed sample document with DocFile.ckxDocHeader and DocFile.ckxFileBlock, loads
' its package, and checks that the package cut one byte short is refused.
' (Wine's script engine cannot index or resize byte arrays, so the bytes are only
' handed from one object to the next.) The last line is "com_roundtrip: PASS" only when every check held:
' Wine's cscript exits 0 and prints nothing more when a script stops on an error, so the
' runner requires that line.
' By-reference typed parameters get parenthesised arguments, which VBScript passes by value.
Option Explicit

Dim failures : failures = 0

Sub Check(condition, what)
    If condition Then
        WScript.Echo "ok: " & what
    Else
        WScript.Echo "FAILED: " & what
        failures = failures + 1
    End If
End Sub

Dim installDir
If WScript.Arguments.Count <> 1 Then
    WScript.Echo "usage: com_roundtrip.vbs <install folder>"
    WScript.Quit 2
End If
installDir = WScript.Arguments(0)

' --- a package made by one object and loaded by another --------------------------------
Dim writer, reader, bytes
Set writer = CreateObject("Sorbel.ckxDataPak")
writer.Title = "Installed round trip"
writer.Category = "installer"
writer.Append ("DocProperty_PageWidth"), ("12240")
writer.Append ("empty"), ("")
writer.Append ("DocProperty_PageWidth"), ("second with the same key")
Check writer.ErrorNumber = 0, "Append on Sorbel.ckxDataPak"
Check writer.Count = 3, "three records appended"
bytes = writer.Package
Check VarType(bytes) = vbArray + vbByte, "Package is a byte array"

Set reader = CreateObject("Sorbel.ckxDataPak")
reader.Package = bytes
Check reader.ErrorNumber = 0, "a second object loads the package"
Check reader.Count = 3, "the loaded package holds three records"
Check reader.Size = writer.Size, "the loaded package has the size of the original"
Check reader.Title = "Installed round trip", "the title survives the round trip"
Check reader.Category = "installer", "the category survives the round trip"
Check reader.Data(("DocProperty_PageWidth")) = "12240", "the first record of a repeated key is found by key"
Check reader.Record((2)) = "second with the same key", "the third record's data by position"
Check reader.RecordKey((1)) = "empty", "the second record's key by position"

' --- the installed sample documents, read the way the viewer reads them --------------
Dim fso, folder, file, header, block, offset, length, data, status, pak, records, samples
Set fso = CreateObject("Scripting.FileSystemObject")
Set header = CreateObject("DocFile.ckxDocHeader")
Set block = CreateObject("DocFile.ckxFileBlock")
samples = 0
Set folder = fso.GetFolder(installDir & "\Samples")
For Each file In folder.Files
    If LCase(fso.GetExtensionName(file.Name)) = "orl" Then
        samples = samples + 1
        header.FileSpec = file.Path
        Check header.Status = 0, file.Name & ": ckxDocHeader locates the package"
        offset = header.PackageOffset
        length = header.PackageLength
        Check length > 0, file.Name & ": the package is " & length & " bytes at offset " & offset
        status = -1
        block.ReadBlock (file.Path), (offset + 1), (length), data, status
        Check status = 0, file.Name & ": ckxFileBlock reads the package (status " & status & ")"
        Set pak = CreateObject("Sorbel.ckxDataPak")
        pak.Package = data
        Check pak.ErrorNumber = 0, file.Name & ": ckxDataPak loads it (error " & pak.ErrorNumber & ")"
        ' One byte short, the same package is refused and the object keeps what it had.
        records = pak.Count
        block.ReadBlock (file.Path), (offset + 1), (length - 1), data, status
        pak.Package = data
        Check pak.ErrorNumber <> 0 And pak.Count = records, file.Name & ": a package one byte short is refused (error " & pak.ErrorNumber & ")"
    End If
Next
Check samples > 0, samples & " sample documents installed"

If failures = 0 Then
    WScript.Echo "com_roundtrip: PASS"
Else
    WScript.Echo "com_roundtrip: " & failures & " checks failed"
End If
