<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>comAdapter</name>
    <message>
        <source>Open device error:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open device success &gt; Device Type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Hardware version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Firmware version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close port %1 slave address %2 is success</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ERR: Register start address </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>is invalid!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>:When reading register start from </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SUCCESS: Setting register </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> to value </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>:When Setting register </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>comSettingsWidget</name>
    <message>
        <source>ERR: The settings could not be saved to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>comSettingsWidget</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Com Mode:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Com Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Id:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>BaudRate:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DataLen:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>StopBits:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resp. Timeout(ms):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry Count:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Poll Cycle(ms):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto Boot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto Hide</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ERR: The start at log-on could not be registered in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ERR: The start at log-on could not be removed from %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>inforWidget</name>
    <message>
        <source>inforWidget</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>loginDialog</name>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Product:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Chose</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>mainWindow</name>
    <message>
        <source>Ambrel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About the tool</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Option</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minimize the dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore the dialog</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit the Application</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HW:0000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FW:0000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DRV:0000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>yyyy-MM-dd hh:mm:ss</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Comm</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ambrel_</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The language settings need to be restarted to take effect. Do you want to restart now?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
