' The bridge scripted by Wine's VBScript from the 64-bit script host: COM
' starts orvelaX64.exe, and the calls cross into it with VBScript's arguments
' by reference. Created without a window there is no camera control yet.
Option Explicit
Dim failures : failures = 0

Sub Check(what, got, want)
    If IsObject(got) Or IsNull(got) Then
        WScript.Echo "FAIL " & what & ": got an object or Null, want [" & want & "]"
        failures = failures + 1
    ElseIf CStr(got) <> CStr(want) Then
        WScript.Echo "FAIL " & what & ": got [" & got & "], want [" & want & "]"
        failures = failures + 1
    End If
End Sub

Class PageWindow
    Public Function Name()
        Name = "not an HTML window"
    End Function
End Class

Dim bridge : Set bridge = CreateObject("KavrinX64.X64ConfigCtrl")
Dim text, names
text = "not a window" : names = "onCamera,onState"
Check "SetIEWindow with a text", bridge.SetIEWindow("not a window", "onCamera"), -1
Check "SetIEWindow with a text by reference", bridge.SetIEWindow(text, names), -1
' Any object is taken as the window; one that is not an HTML window leaves
' the bridge without a page.
Dim page : Set page = New PageWindow
Check "SetIEWindow with an object by reference", bridge.SetIEWindow(page, names), 0

Dim url, ip, port, tick, count, kind, info
url = "http://cam/" : ip = "192.0.2.10" : port = 80
tick = 40 : count = 3 : kind = 2 : info = "dvr"
On Error Resume Next
bridge.InitCtrl url, ip, port
Check "InitCtrl without a camera", Err.Number, 0
Check "SetBufferTick without a camera", bridge.SetBufferTick(tick, count), 0
Check "SetDeviceType without a camera", bridge.SetDeviceType(kind, info), 0
Check "GetCtrlVersion without a camera", bridge.GetCtrlVersion(), ""
Check "no error so far", Err.Number, 0
Err.Clear
bridge.PlayRealVideo "1", "0", "main"
Check "unknown member", Err.Number, 438
Err.Clear
bridge.InitCtrl url
Check "short call: wrong number of arguments", Err.Number, 450
Check "short call: what was missing", Err.Description, "Error: Argument 2is not optional."
Err.Clear
bridge.SetBufferTick "many", count
Check "bad argument: type mismatch", Err.Number, 13
Check "bad argument: which and why", Err.Description, _
    "Invalid argument conversion from string to integer at index 1"
Err.Clear
On Error GoTo 0

Set page = Nothing
Set bridge = Nothing
If failures = 0 Then
    WScript.Echo "bridge_local.vbs: all checks passed"
Else
    WScript.Echo "bridge_local.vbs: " & failures & " failures"
End If
