' The same as keyed_sorbel.vbs on Scripting.Dictionary: N Add calls, then N
' reads by key. Usage: cscript keyed_dictionary.vbs N
' Closing line: "bench: N records, C characters read".
Option Explicit
Dim n, dict, i, total
n = CLng(WScript.Arguments(0))
Set dict = CreateObject("Scripting.Dictionary")
For i = 1 To n
    dict.Add "key" & i, "value number " & i
Next
total = 0
For i = 1 To n
    total = total + Len(dict.Item("key" & i))
Next
WScript.Echo "bench: " & dict.Count & " records, " & total & " characters read"
