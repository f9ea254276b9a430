<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;No</translation>
    </message>
</context>
<context>
    <name>comAdapter</name>
    <message>
        <source>Open device error:</source>
        <translation>Open device error:</translation>
    </message>
    <message>
        <source>Open device success &gt; Device Type:</source>
        <translation>Open device success &gt; Device Type:</translation>
    </message>
    <message>
        <source> Hardware version:</source>
        <translation> Hardware version:</translation>
    </message>
    <message>
        <source> Firmware version:</source>
        <translation> Firmware version:</translation>
    </message>
    <message>
        <source>Close port %1 slave address %2 is success</source>
        <translation>Closed port %1, slave address %2</translation>
    </message>
    <message>
        <source>ERR: Register start address </source>
        <translation>ERR: Register start address </translation>
    </message>
    <message>
        <source>is invalid!</source>
        <translation>is invalid!</translation>
    </message>
    <message>
        <source>:When reading register start from </source>
        <translation>:When reading register start from </translation>
    </message>
    <message>
        <source>SUCCESS: Setting register </source>
        <translation>SUCCESS: Setting register </translation>
    </message>
    <message>
        <source> to value </source>
        <translation> to value </translation>
    </message>
    <message>
        <source>:When Setting register </source>
        <translation>:When Setting register </translation>
    </message>
    <message>
        <source>success</source>
        <translation>success</translation>
    </message>
    <message>
        <source>invalid argument</source>
        <translation>invalid argument</translation>
    </message>
    <message>
        <source>port error</source>
        <translation>port error</translation>
    </message>
    <message>
        <source>no resource</source>
        <translation>no resource</translation>
    </message>
    <message>
        <source>I/O error</source>
        <translation>I/O error</translation>
    </message>
    <message>
        <source>illegal state</source>
        <translation>illegal state</translation>
    </message>
    <message>
        <source>in progress</source>
        <translation>in progress</translation>
    </message>
    <message>
        <source>timed out</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>exception: illegal function</source>
        <translation>exception: illegal function</translation>
    </message>
    <message>
        <source>exception: illegal data address</source>
        <translation>exception: illegal data address</translation>
    </message>
    <message>
        <source>exception: illegal data value</source>
        <translation>exception: illegal data value</translation>
    </message>
    <message>
        <source>exception: slave device failure</source>
        <translation>exception: slave device failure</translation>
    </message>
    <message>
        <source>exception: acknowledge</source>
        <translation>exception: acknowledge</translation>
    </message>
    <message>
        <source>exception: slave device busy</source>
        <translation>exception: slave device busy</translation>
    </message>
    <message>
        <source>exception: memory parity error</source>
        <translation>exception: memory parity error</translation>
    </message>
    <message>
        <source>exception: gateway path unavailable</source>
        <translation>exception: gateway path unavailable</translation>
    </message>
    <message>
        <source>exception: gateway target failed</source>
        <translation>exception: gateway target failed</translation>
    </message>
    <message>
        <source>unknown result</source>
        <translation>unknown result</translation>
    </message>
</context>
<context>
    <name>comSettingsWidget</name>
    <message>
        <source>ERR: The product name &quot;%1&quot; in %2 is not a plain folder name; it is not used</source>
        <translation>ERR: The product name &quot;%1&quot; in %2 is not a plain folder name; it is not used</translation>
    </message>
    <message>
        <source>ERR: The settings could not be saved to %1</source>
        <translation>ERR: The settings could not be saved to %1</translation>
    </message>
    <message>
        <source>comSettingsWidget</source>
        <translation>Communication Settings</translation>
    </message>
    <message>
        <source>Com Mode:</source>
        <translation>Com Mode:</translation>
    </message>
    <message>
        <source>Com Port:</source>
        <translation>Com Port:</translation>
    </message>
    <message>
        <source>Device Id:</source>
        <translation>Device Id:</translation>
    </message>
    <message>
        <source>BaudRate:</source>
        <translation>BaudRate:</translation>
    </message>
    <message>
        <source>DataLen:</source>
        <translation>DataLen:</translation>
    </message>
    <message>
        <source>StopBits:</source>
        <translation>StopBits:</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>Resp. Timeout(ms):</source>
        <translation>Timeout (ms):</translation>
    </message>
    <message>
        <source>Retry Count:</source>
        <translation>Retry Count:</translation>
    </message>
    <message>
        <source>Poll Cycle(ms):</source>
        <translation>Poll Cycle (ms):</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Auto Connect</source>
        <translation>Auto Connect</translation>
    </message>
    <message>
        <source>Auto Boot</source>
        <translation>Auto Boot</translation>
    </message>
    <message>
        <source>Auto Hide</source>
        <translation>Auto Hide</translation>
    </message>
    <message>
        <source>ERR: The start at log-on could not be registered in %1</source>
        <translation>ERR: The start at log-on could not be registered in %1</translation>
    </message>
    <message>
        <source>ERR: The start at log-on could not be removed from %1</source>
        <translation>ERR: The start at log-on could not be removed from %1</translation>
    </message>
    <message>
        <source>Product: %1</source>
        <translation>Product: %1</translation>
    </message>
    <message>
        <source>ERR: The password could not be saved to %1</source>
        <translation>ERR: The password could not be saved to %1</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>UPS Name:</source>
        <translation>UPS Name:</translation>
    </message>
    <message>
        <source>List</source>
        <translation>List</translation>
    </message>
    <message>
        <source>Ask upsd for the names of its UPS</source>
        <translation>Ask upsd for the names of its UPS</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>only for writes</source>
        <translation>only for writes</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>upsd on %1: %2</source>
        <translation>upsd on %1: %2</translation>
    </message>
    <message>
        <source>%1; the UPS name can be typed in</source>
        <translation>%1; the UPS name can be typed in</translation>
    </message>
    <message>
        <source>upsd lists no UPS</source>
        <translation>upsd lists no UPS</translation>
    </message>
</context>
<context>
    <name>configDialog</name>
    <message>
        <source>Set Register</source>
        <translation>Set Register</translation>
    </message>
    <message>
        <source>configDialog</source>
        <translation>Set Register</translation>
    </message>
    <message>
        <source>Allowed values: %1 to %2</source>
        <translation>Allowed values: %1 to %2</translation>
    </message>
    <message>
        <source>%1 is outside the allowed values %2 to %3</source>
        <translation>%1 is outside the allowed values %2 to %3</translation>
    </message>
    <message>
        <source>Write Register</source>
        <translation>Write Register</translation>
    </message>
    <message>
        <source>Register Address:</source>
        <translation>Register Address:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Value:</source>
        <translation>Value:</translation>
    </message>
</context>
<context>
    <name>configWidget</name>
    <message>
        <source>configWidget</source>
        <translation>Config</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>RW</source>
        <translation>RW</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Policy:</source>
        <translation>Policy:</translation>
    </message>
    <message>
        <source>Post Process Script file:</source>
        <translation>Post-process script file:</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Post Process</source>
        <translation>Post Process</translation>
    </message>
    <message>
        <source>shell scripts(*.sh)</source>
        <translation>Shell scripts (*.sh)</translation>
    </message>
    <message>
        <source>bat files(*.bat)</source>
        <translation>Batch files (*.bat)</translation>
    </message>
    <message>
        <source>all files(*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Open bat file</source>
        <translation>Choose the post-process script</translation>
    </message>
    <message>
        <source>The script file dialog was cancelled: no post-process script is set any more.</source>
        <translation>The script file dialog was cancelled: no post-process script is set any more.</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>Warning level:</source>
        <translation>Warning level:</translation>
    </message>
    <message>
        <source>Critical level:</source>
        <translation>Critical level:</translation>
    </message>
    <message>
        <source>Run the post-process script at the critical level</source>
        <translation>Run the post-process script at the critical level</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>At once</source>
        <translation>At once</translation>
    </message>
    <message>
        <source> min</source>
        <translation> min</translation>
    </message>
    <message>
        <source>Ride-through delay:</source>
        <translation>Ride-through delay:</translation>
    </message>
    <message>
        <source>Act when time left is below:</source>
        <translation>Act when time left is below:</translation>
    </message>
    <message>
        <source>full path of the script, or choose it with ...</source>
        <translation>full path of the script, or choose it with ...</translation>
    </message>
    <message>
        <source>No post-process script is set any more.</source>
        <translation>No post-process script is set any more.</translation>
    </message>
    <message>
        <source>ERR: The post-process script needs its full path (starting with /): %1</source>
        <translation>ERR: The post-process script needs its full path (starting with /): %1</translation>
    </message>
    <message>
        <source>Post-process script not found: %1</source>
        <translation>Post-process script not found: %1</translation>
    </message>
</context>
<context>
    <name>inforWidget</name>
    <message>
        <source>inforWidget</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Save log…</source>
        <translation>Save log…</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Save log</source>
        <translation>Save log</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Text files (*.txt)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>The log could not be saved to %1.</source>
        <translation>The log could not be saved to %1.</translation>
    </message>
    <message>
        <source>ERR: The log could not be saved to %1: %2</source>
        <translation>ERR: The log could not be saved to %1: %2</translation>
    </message>
    <message>
        <source>The log was saved to %1.</source>
        <translation>The log was saved to %1.</translation>
    </message>
</context>
<context>
    <name>instanceLock</name>
    <message>
        <source>WARN: The single-instance lock cannot be kept safely in %1; this instance runs without it</source>
        <translation>WARN: The single-instance lock cannot be kept safely in %1; this instance runs without it</translation>
    </message>
</context>
<context>
    <name>loginDialog</name>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Product:</source>
        <translation>Product:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Chose</source>
        <translation>Choose</translation>
    </message>
</context>
<context>
    <name>mainWindow</name>
    <message>
        <source>Ambrel</source>
        <translation>Ambrel</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>About the tool</source>
        <translation>About the tool</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>Control</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>Option</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Comm</source>
        <translation>Comm</translation>
    </message>
    <message>
        <source>Ambrel_</source>
        <translation>Ambrel_</translation>
    </message>
    <message>
        <source>Status Monitor</source>
        <translation>Status Monitor</translation>
    </message>
    <message>
        <source>Config</source>
        <translation>Config</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Driver version %1</source>
        <translation>Driver version %1</translation>
    </message>
    <message>
        <source>Monitors and configures the DC UPS module on a serial line.</source>
        <translation>Monitors and configures the DC UPS module over a serial line.</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 Tarvel. All rights reserved. This program is provided as is, without warranty of any kind.</source>
        <translation>Copyright (C) 2026 Tarvel. All rights reserved. This program is provided as is, without warranty of any kind.</translation>
    </message>
    <message>
        <source>History</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Cancel pending action</source>
        <translation>Cancel pending action</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Ambrel is protecting this computer: on battery, %1 %, the post-process script runs in %2 s. Quit anyway?</source>
        <translation>Ambrel is protecting this computer: on battery, %1 %, the post-process script runs in %2 s. Quit anyway?</translation>
    </message>
    <message>
        <source>Ambrel is protecting this computer: on battery, %1 %. Quit anyway?</source>
        <translation>Ambrel is protecting this computer: on battery, %1 %. Quit anyway?</translation>
    </message>
    <message>
        <source>Show the configuration tab (while a module is connected)</source>
        <translation>Show the configuration tab (while a module is connected)</translation>
    </message>
    <message>
        <source>Ambrel keeps running in the tray and watches the power. Quit it from the tray icon's menu.</source>
        <translation>Ambrel keeps running in the tray and watches the power. Quit it from the tray icon's menu.</translation>
    </message>
</context>
<context>
    <name>statusBarPresenter</name>
    <message>
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>HW:0000</source>
        <translation>HW:0000</translation>
    </message>
    <message>
        <source>FW:0000</source>
        <translation>FW:0000</translation>
    </message>
    <message>
        <source>DRV:0000</source>
        <translation>DRV:0000</translation>
    </message>
    <message>
        <source>yyyy-MM-dd hh:mm:ss</source>
        <translation>yyyy-MM-dd hh:mm:ss</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>Connecting…</translation>
    </message>
    <message>
        <source>Disconnecting…</source>
        <translation>Disconnecting…</translation>
    </message>
    <message>
        <source>Reconnecting (attempt %1, next in %2 s)</source>
        <translation>Reconnecting (attempt %1, next in %2 s)</translation>
    </message>
    <message>
        <source>Reconnecting (attempt %1)…</source>
        <translation>Reconnecting (attempt %1)…</translation>
    </message>
</context>
<context>
    <name>languageChooser</name>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Language Settings</source>
        <translation>Language Settings</translation>
    </message>
    <message>
        <source>The language settings need to be restarted to take effect. Do you want to restart now?</source>
        <translation>The new language takes effect after a restart. Restart now?</translation>
    </message>
</context>
<context>
    <name>trayPresenter</name>
    <message>
        <source>Ambrel — not connected</source>
        <translation>Ambrel — not connected</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>Minimize the dialog</source>
        <translation>Minimize the window</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Restore the dialog</source>
        <translation>Restore the window</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Quit the Application</source>
        <translation>Quit the application</translation>
    </message>
    <message>
        <source>Ambrel</source>
        <translation>Ambrel</translation>
    </message>
    <message>
        <source>DC is connected.</source>
        <translation>DC is connected.</translation>
    </message>
    <message>
        <source>DC is broken.</source>
        <translation>DC is broken.</translation>
    </message>
    <message>
        <source>Ambrel — on battery, %1 %, low battery (critical)</source>
        <translation>Ambrel — on battery, %1 %, low battery (critical)</translation>
    </message>
    <message>
        <source>Ambrel — on battery, %1 %, low battery</source>
        <translation>Ambrel — on battery, %1 %, low battery</translation>
    </message>
    <message>
        <source>Ambrel — on battery, %1 %</source>
        <translation>Ambrel — on battery, %1 %</translation>
    </message>
    <message>
        <source>Ambrel — on DC, %1 %, fully charged</source>
        <translation>Ambrel — on DC, %1 %, fully charged</translation>
    </message>
    <message>
        <source>Ambrel — on DC, %1 %, charging</source>
        <translation>Ambrel — on DC, %1 %, charging</translation>
    </message>
    <message>
        <source>Ambrel — on DC</source>
        <translation>Ambrel — on DC</translation>
    </message>
    <message>
        <source>Ambrel — on battery</source>
        <translation>Ambrel — on battery</translation>
    </message>
    <message>
        <source>Ambrel — on DC, %1 %</source>
        <translation>Ambrel — on DC, %1 %</translation>
    </message>
    <message>
        <source>Ambrel — no answer from the module since %1</source>
        <translation>Ambrel — no answer from the module since %1</translation>
    </message>
    <message>
        <source>Communication with the module lost.</source>
        <translation>Communication with the module lost.</translation>
    </message>
    <message>
        <source>Communication with the module restored.</source>
        <translation>Communication with the module restored.</translation>
    </message>
    <message>
        <source>Time left: %1</source>
        <translation>Time left: %1</translation>
    </message>
</context>
<context>
    <name>restartHandover</name>
    <message>
        <source>Restarted to change the language.</source>
        <translation>Restarted to change the language.</translation>
    </message>
</context>
<context>
    <name>helpLauncher</name>
    <message>
        <source>No program to open .chm files is installed: install xchm (for example with &quot;sudo apt-get install xchm&quot;).</source>
        <translation>No program to open .chm files is installed: install xchm (for example with &quot;sudo apt-get install xchm&quot;).</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Cannot open help file: %1</source>
        <translation>Cannot open help file: %1</translation>
    </message>
    <message>
        <source>Cannot open help file %1: the program that opens files, xdg-open, is not installed: install xdg-utils (for example with &quot;sudo apt-get install xdg-utils&quot;).</source>
        <translation>Cannot open help file %1: the program that opens files, xdg-open, is not installed: install xdg-utils (for example with &quot;sudo apt-get install xdg-utils&quot;).</translation>
    </message>
</context>
<context>
    <name>statusMonitorWidget</name>
    <message>
        <source>statusMonitorWidget</source>
        <translation>Status Monitor</translation>
    </message>
    <message>
        <source>Battery Status</source>
        <translation>Battery Status</translation>
    </message>
    <message>
        <source>Policy Mode:</source>
        <translation>Policy Mode:</translation>
    </message>
    <message>
        <source>NULL</source>
        <translation>NULL</translation>
    </message>
    <message>
        <source>Power Supply:</source>
        <translation>Power Supply:</translation>
    </message>
    <message>
        <source>DC</source>
        <translation>DC</translation>
    </message>
    <message>
        <source>Battery Status:</source>
        <translation>Battery Status:</translation>
    </message>
    <message>
        <source>Discharging</source>
        <translation>Discharging</translation>
    </message>
    <message>
        <source>Voltage Input:</source>
        <translation>Voltage Input:</translation>
    </message>
    <message>
        <source>Voltage Output:</source>
        <translation>Voltage Output:</translation>
    </message>
    <message>
        <source>DO Status</source>
        <translation>DO Status</translation>
    </message>
    <message>
        <source>DC_OK</source>
        <translation>DC_OK</translation>
    </message>
    <message>
        <source>Bat.Mode</source>
        <translation>Bat.Mode</translation>
    </message>
    <message>
        <source>Bat.Ready</source>
        <translation>Bat.Ready</translation>
    </message>
    <message>
        <source>SW</source>
        <translation>SW</translation>
    </message>
    <message>
        <source>DI Status</source>
        <translation>DI Status</translation>
    </message>
    <message>
        <source>Remote</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>Bat.Start</source>
        <translation>Bat.Start</translation>
    </message>
    <message>
        <source>Dev.PSts</source>
        <translation>Dev.PSts</translation>
    </message>
    <message>
        <source>Charging</source>
        <translation>Charging</translation>
    </message>
    <message>
        <source>Charge Full</source>
        <translation>Fully charged</translation>
    </message>
    <message>
        <source>UPS</source>
        <translation>UPS</translation>
    </message>
    <message>
        <source>PC</source>
        <translation>PC</translation>
    </message>
    <message>
        <source>0.5 A</source>
        <translation>0.5 A</translation>
    </message>
    <message>
        <source>0.4 A</source>
        <translation>0.4 A</translation>
    </message>
    <message>
        <source>0.3 A</source>
        <translation>0.3 A</translation>
    </message>
    <message>
        <source>0.2 A</source>
        <translation>0.2 A</translation>
    </message>
    <message>
        <source> Sec.</source>
        <translation> s</translation>
    </message>
    <message>
        <source>20 Sec.</source>
        <translation>20 s</translation>
    </message>
    <message>
        <source>15 Sec.</source>
        <translation>15 s</translation>
    </message>
    <message>
        <source>10 Sec.</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>5 Sec.</source>
        <translation>5 s</translation>
    </message>
    <message>
        <source>Battery low: %1 % (warning level %2 %).</source>
        <translation>Battery low: %1 % (warning level %2 %).</translation>
    </message>
    <message>
        <source>Battery critical: %1 % (critical level %2 %).</source>
        <translation>Battery critical: %1 % (critical level %2 %).</translation>
    </message>
    <message>
        <source>DC is connected.</source>
        <translation>DC is connected.</translation>
    </message>
    <message>
        <source>DC is broken.</source>
        <translation>DC is broken.</translation>
    </message>
    <message>
        <source>SW ON.</source>
        <translation>SW ON.</translation>
    </message>
    <message>
        <source>SW OFF.</source>
        <translation>SW OFF.</translation>
    </message>
    <message>
        <source>Time left:</source>
        <translation>Time left:</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unknown</translation>
    </message>
</context>
<context>
    <name>batThread</name>
    <message>
        <source>Post-process script not found: %1</source>
        <translation>Post-process script not found: %1</translation>
    </message>
    <message>
        <source>Post-process script could not be started: %1</source>
        <translation>Post-process script could not be started: %1</translation>
    </message>
    <message>
        <source>Post-process script started: %1</source>
        <translation>Post-process script started: %1</translation>
    </message>
    <message>
        <source>Post-process script ended after %1 s (time limit).</source>
        <translation>Post-process script ended after %1 s (time limit).</translation>
    </message>
    <message>
        <source>Post-process script ended as the program stops.</source>
        <translation>Post-process script ended as the program stops.</translation>
    </message>
    <message>
        <source>Post-process script ended with exit status %1.</source>
        <translation>Post-process script ended with exit status %1.</translation>
    </message>
    <message>
        <source>Post-process script ended by signal %1.</source>
        <translation>Post-process script ended by signal %1.</translation>
    </message>
    <message>
        <source>Post-process script ended.</source>
        <translation>Post-process script ended.</translation>
    </message>
</context>
<context>
    <name>monitorThread</name>
    <message>
        <source>ERR:%1: Registers %2 to %3 could not be read; they are shown empty</source>
        <translation>ERR:%1: Registers %2 to %3 could not be read; they are shown empty</translation>
    </message>
    <message>
        <source>ERR:%1:When reading register start from %2 (%3)</source>
        <translation>ERR:%1:When reading register start from %2 (%3)</translation>
    </message>
    <message>
        <source>Communication with the module lost (error %1: %2)</source>
        <translation>Communication with the module lost (error %1: %2)</translation>
    </message>
    <message>
        <source>Still no answer, %1 attempts (error %2: %3)</source>
        <translation>Still no answer, %1 attempts (error %2: %3)</translation>
    </message>
    <message>
        <source>Register %1 not written: the module is not connected</source>
        <translation>Register %1 not written: the module is not connected</translation>
    </message>
    <message>
        <source>Register %1 = %2 not written: the line was lost</source>
        <translation>Register %1 = %2 not written: the line was lost</translation>
    </message>
    <message>
        <source>Communication restored after %1</source>
        <translation>Communication restored after %1</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 not written: the UPS is not connected</source>
        <translation>%1 not written: the UPS is not connected</translation>
    </message>
    <message>
        <source>%1 = %2 not written: the line was lost</source>
        <translation>%1 = %2 not written: the line was lost</translation>
    </message>
    <message>
        <source>Communication with the UPS lost (%1)</source>
        <translation>Communication with the UPS lost (%1)</translation>
    </message>
    <message>
        <source>Still no answer, %1 attempts (%2)</source>
        <translation>Still no answer, %1 attempts (%2)</translation>
    </message>
    <message>
        <source>upsd on %1: %2</source>
        <translation>upsd on %1: %2</translation>
    </message>
    <message>
        <source>%1; UPS &quot;%2&quot; is not watched until Connect is pressed again</source>
        <translation>%1; UPS &quot;%2&quot; is not watched until Connect is pressed again</translation>
    </message>
    <message>
        <source>Watching UPS &quot;%1&quot; on upsd %2:%3</source>
        <translation>Watching UPS &quot;%1&quot; on upsd %2:%3</translation>
    </message>
    <message>
        <source>no user is set for upsd on the Comm page</source>
        <translation>no user is set for upsd on the Comm page</translation>
    </message>
    <message>
        <source>upsd on %1 refused the login of user %2 (%3)</source>
        <translation>upsd on %1 refused the login of user %2 (%3)</translation>
    </message>
    <message>
        <source>%1 set to %2</source>
        <translation>%1 set to %2</translation>
    </message>
    <message>
        <source>%1 not written: %2</source>
        <translation>%1 not written: %2</translation>
    </message>
</context>
<context>
    <name>upsDataModel</name>
    <message>
        <source>ERR: The register table %1 is larger than %2 KB and is not loaded</source>
        <translation>ERR: The register table %1 is larger than %2 KB and is not loaded</translation>
    </message>
    <message>
        <source>read-only</source>
        <translation>read-only</translation>
    </message>
</context>
<context>
    <name>historyStore</name>
    <message>
        <source>%1 cannot be written</source>
        <translation>%1 cannot be written</translation>
    </message>
    <message>
        <source>The history file was damaged; it was moved to %1 and a new one started.</source>
        <translation>The history file was damaged; it was moved to %1 and a new one started.</translation>
    </message>
    <message>
        <source>History unavailable: %1</source>
        <translation>History unavailable: %1</translation>
    </message>
    <message>
        <source>History busy, kept to write later: %1: %2</source>
        <translation>History busy, kept to write later: %1: %2</translation>
    </message>
    <message>
        <source>History written again: %1</source>
        <translation>History written again: %1</translation>
    </message>
</context>
<context>
    <name>historyChart</name>
    <message>
        <source>DC lost</source>
        <translation>DC lost</translation>
    </message>
    <message>
        <source>DC back</source>
        <translation>DC back</translation>
    </message>
    <message>
        <source>SW on</source>
        <translation>SW on</translation>
    </message>
    <message>
        <source>SW off</source>
        <translation>SW off</translation>
    </message>
    <message>
        <source>Line lost</source>
        <translation>Line lost</translation>
    </message>
    <message>
        <source>Line restored</source>
        <translation>Line restored</translation>
    </message>
    <message>
        <source>Low battery</source>
        <translation>Low battery</translation>
    </message>
    <message>
        <source>Critical battery</source>
        <translation>Critical battery</translation>
    </message>
    <message>
        <source>Script started</source>
        <translation>Script started</translation>
    </message>
    <message>
        <source>Script ended</source>
        <translation>Script ended</translation>
    </message>
    <message>
        <source>Register written</source>
        <translation>Register written</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>Charge (%)</source>
        <translation>Charge (%)</translation>
    </message>
    <message>
        <source>Input (V)</source>
        <translation>Input (V)</translation>
    </message>
    <message>
        <source>Output (V)</source>
        <translation>Output (V)</translation>
    </message>
    <message>
        <source>On battery</source>
        <translation>On battery</translation>
    </message>
    <message>
        <source>No samples in this time range</source>
        <translation>No samples in this time range</translation>
    </message>
    <message>
        <source>No data before %1</source>
        <translation>No data before %1</translation>
    </message>
    <message>
        <source>No samples at this time</source>
        <translation>No samples at this time</translation>
    </message>
    <message>
        <source>none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>%1 V</source>
        <translation>%1 V</translation>
    </message>
    <message>
        <source>Charge: %1 %</source>
        <translation>Charge: %1 %</translation>
    </message>
    <message>
        <source>Input: %1</source>
        <translation>Input: %1</translation>
    </message>
    <message>
        <source>Output: %1</source>
        <translation>Output: %1</translation>
    </message>
    <message>
        <source>… and %1 more</source>
        <translation>… and %1 more</translation>
    </message>
</context>
<context>
    <name>historyWidget</name>
    <message>
        <source>Range:</source>
        <translation>Range:</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 h</translation>
    </message>
    <message>
        <source>7 d</source>
        <translation>7 d</translation>
    </message>
    <message>
        <source>30 d</source>
        <translation>30 d</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>Keep the range ending now and refresh it every few seconds</source>
        <translation>Keep the range ending now and refresh it every few seconds</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Export…</translation>
    </message>
    <message>
        <source>Write the samples and events of the range shown as CSV files</source>
        <translation>Write the samples and events of the range shown as CSV files</translation>
    </message>
    <message>
        <source>Events:</source>
        <translation>Events:</translation>
    </message>
    <message>
        <source>All kinds</source>
        <translation>All kinds</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>The history is unavailable.</source>
        <translation>The history is unavailable.</translation>
    </message>
    <message>
        <source>The history is unavailable: %1</source>
        <translation>The history is unavailable: %1</translation>
    </message>
    <message>
        <source>Events shown: %1</source>
        <translation>Events shown: %1</translation>
    </message>
    <message>
        <source>Export history</source>
        <translation>Export history</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>History exported to %1 and %2.</source>
        <translation>History exported to %1 and %2.</translation>
    </message>
    <message>
        <source>The history could not be exported: %1</source>
        <translation>The history could not be exported: %1</translation>
    </message>
</context>
<context>
    <name>powerActions</name>
    <message>
        <source>unknown</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>about %1 s</source>
        <translation>about %1 s</translation>
    </message>
    <message>
        <source>about %1 min</source>
        <translation>about %1 min</translation>
    </message>
    <message>
        <source>Post-process script in %1 s: DC lost</source>
        <translation>Post-process script in %1 s: DC lost</translation>
    </message>
    <message>
        <source>Pending action cancelled: the post-process script will not run for this outage.</source>
        <translation>Pending action cancelled: the post-process script will not run for this outage.</translation>
    </message>
    <message>
        <source>DC lost: the post-process script runs in %1 s unless the DC comes back.</source>
        <translation>DC lost: the post-process script runs in %1 s unless the DC comes back.</translation>
    </message>
    <message>
        <source>DC back after %1 s: the post-process script was not run.</source>
        <translation>DC back after %1 s: the post-process script was not run.</translation>
    </message>
    <message>
        <source>DC still lost after %1 s: the post-process script runs.</source>
        <translation>DC still lost after %1 s: the post-process script runs.</translation>
    </message>
    <message>
        <source>Battery time left %1: below the level of %2 min.</source>
        <translation>Battery time left %1: below the level of %2 min.</translation>
    </message>
</context>
<context>
    <name>nutVariablesWidget</name>
    <message>
        <source>Variable</source>
        <translation>Variable</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Accepts</source>
        <translation>Accepts</translation>
    </message>
    <message>
        <source>New value of %1:</source>
        <translation>New value of %1:</translation>
    </message>
    <message>
        <source>Write a variable</source>
        <translation>Write a variable</translation>
    </message>
    <message>
        <source>text of up to %1 characters</source>
        <translation>text of up to %1 characters</translation>
    </message>
    <message>
        <source>%1 is not one of the values %2 accepts</source>
        <translation>%1 is not one of the values %2 accepts</translation>
    </message>
    <message>
        <source>%1 is outside the ranges %2 accepts</source>
        <translation>%1 is outside the ranges %2 accepts</translation>
    </message>
    <message>
        <source>%1 takes at most %2 characters</source>
        <translation>%1 takes at most %2 characters</translation>
    </message>
    <message>
        <source>a value holds no line break</source>
        <translation>a value holds no line break</translation>
    </message>
    <message>
        <source>%1 not written: %2</source>
        <translation>%1 not written: %2</translation>
    </message>
    <message>
        <source>Writing %1 = %2 ...</source>
        <translation>Writing %1 = %2 ...</translation>
    </message>
    <message>
        <source>%1 not written: upsd does not list it as writable</source>
        <translation>%1 not written: upsd does not list it as writable</translation>
    </message>
    <message>
        <source>%1 set to %2</source>
        <translation>%1 set to %2</translation>
    </message>
</context>
</TS>
