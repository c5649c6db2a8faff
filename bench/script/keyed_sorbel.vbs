' N Append calls on a Sorbel.ckxDataPak, then N Data reads by key, in the
' order a script typically uses them. Usage: cscript keyed_sorbel.vbs N
' Closing line: "bench: N records, C characters read".
Option Explicit
Dim n, pak, i, total
n = CLng(WScript.Arguments(0))
Set pak = CreateObject("Sorbel.ckxDataPak")
For i = 1 To n
    pak.Append ("key" & i), ("value number " & i)
Next
total = 0
For i = 1 To n
    total = total + Len(pak.Data(("key" & i)))
Next
If pak.Count <> n Or pak.ErrorNumber <> 0 Then total = -1
WScript.Echo "bench: " & pak.Count & " records, " & total & " characters read"
