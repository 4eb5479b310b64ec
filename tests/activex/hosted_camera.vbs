' The control that Wine's ATL host window shows in another process, reached
' through the class named on the command line (whose instances are that
' control) and driven from Wine's VBScript: calls with variables (by reference, through
' IDispatch::Invoke) reach the camera, refused calls' texts reach Err, and an
' object of a VBScript class, called through its default member, receives the
' control's events (Wine's VBScript has no GetRef).
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

Dim seen : seen = ""
Class EchoHandler
    Public Default Function Handle(text, count)
        seen = seen & text & "|" & count & ";"
    End Function
End Class

' Events come as calls from the control's process, taken while this thread
' waits in a call of its own there (Wine's script host has no Sleep).
Sub WaitForEvents()
    Dim i, ignored
    For i = 1 To 20
        ignored = cam.version
    Next
End Sub

Dim cam : Set cam = WScript.CreateObject(WScript.Arguments(0))
Dim url, ip, port
url = "http://192.0.2.42/" : ip = "192.0.2.42" : port = 82
Check "InitCtrl", cam.InitCtrl(url, ip, port), 0
Check "GetCtrlVersion", cam.GetCtrlVersion(), 20100
Dim channel, stream, kind
channel = "1" : stream = "0" : kind = "main"
Check "PlayRealVideo", cam.PlayRealVideo(channel, stream, kind), 0
Check "variables keep their values", url & " " & port & " " & kind, "http://192.0.2.42/ 82 main"

' A refused call raises the core's message; the message is kept for
' getLastException.
On Error Resume Next
cam.InitCtrl url
Check "short call number", Err.Number, -2147467263
Check "short call text", Err.Description, "Error: Argument 3is not optional."
Err.Clear
Check "getLastException()", cam.getLastException(), "Error: Argument 3is not optional."
Dim many : many = "many"
cam.SetBufferTick many, 2
Check "bad argument by reference raises", Err.Number <> 0, True
Dim refused : refused = Err.Description
Err.Clear
Check "getLastException after the bad argument", cam.getLastException(), refused
cam.attachEvent "onecho"
Check "attachEvent with one argument", Err.Description, "Invalid Arguments"
Err.Clear
On Error GoTo 0

Dim handler : Set handler = New EchoHandler
cam.attachEvent "onecho", handler
Dim word : word = "hello"
Check "echo answer", cam.echo(word), "hello"
WaitForEvents
Check "echo event", seen, "So far, you clicked this many times: |0;"
cam.detachEvent "onecho", handler
cam.echo "detached"
WaitForEvents
Check "detached handler", seen, "So far, you clicked this many times: |0;"
Set handler = Nothing

Set cam = Nothing
If failures = 0 Then
    WScript.Echo "hosted_camera.vbs: all checks passed"
Else
    WScript.Echo "hosted_camera.vbs: " & failures & " failures"
End If
