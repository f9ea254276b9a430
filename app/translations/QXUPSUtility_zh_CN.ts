<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
        <translation>通信模式:</translation>
    </message>
    <message>
        <source>Com Port:</source>
        <translation>串口:</translation>
    </message>
    <message>
        <source>Device Id:</source>
        <translation>设备地址:</translation>
    </message>
    <message>
        <source>BaudRate:</source>
        <translation>波特率:</translation>
    </message>
    <message>
        <source>DataLen:</source>
        <translation>数据位:</translation>
    </message>
    <message>
        <source>StopBits:</source>
        <translation>停止位:</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>校验位:</translation>
    </message>
    <message>
        <source>Resp. Timeout(ms):</source>
        <translation>响应超时(ms):</translation>
    </message>
    <message>
        <source>Retry Count:</source>
        <translation>重试次数:</translation>
    </message>
    <message>
        <source>Poll Cycle(ms):</source>
        <translation>轮询周期(ms):</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>连接</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>Auto Connect</source>
        <translation>自动连接</translation>
    </message>
    <message>
        <source>Auto Boot</source>
        <translation>开机自启</translation>
    </message>
    <message>
        <source>Auto Hide</source>
        <translation>自动隐藏</translation>
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
        <translation>状态</translation>
    </message>
</context>
<context>
    <name>loginDialog</name>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Product:</source>
        <translation>产品:</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Chose</source>
        <translation>选择</translation>
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
        <translation>连接</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>断开</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>About the tool</source>
        <translation>关于本工具</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Control</source>
        <translation>控制</translation>
    </message>
    <message>
        <source>Option</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Minimize the dialog</source>
        <translation>最小化窗口</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Restore the dialog</source>
        <translation>还原窗口</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Quit the Application</source>
        <translation>退出程序</translation>
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
        <translation>信息</translation>
    </message>
    <message>
        <source>Comm</source>
        <translation>通信</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>Ambrel_</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Language Settings</source>
        <translation>语言设置</translation>
    </message>
    <message>
        <source>The language settings need to be restarted to take effect. Do you want to restart now?</source>
        <translation>语言设置需要重新启动程序才能生效。是否立即重新启动？</translation>
    </message>
</context>
</TS>
