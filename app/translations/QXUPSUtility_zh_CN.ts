<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>是(&amp;Y)</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>否(&amp;N)</translation>
    </message>
</context>
<context>
    <name>comAdapter</name>
    <message>
        <source>Open device error:</source>
        <translation>打开设备失败，错误代码：</translation>
    </message>
    <message>
        <source>Open device success &gt; Device Type:</source>
        <translation>打开设备成功 &gt; 设备类型：</translation>
    </message>
    <message>
        <source> Hardware version:</source>
        <translation>，硬件版本：</translation>
    </message>
    <message>
        <source> Firmware version:</source>
        <translation>，固件版本：</translation>
    </message>
    <message>
        <source>Close port %1 slave address %2 is success</source>
        <translation>已关闭端口 %1（从站地址 %2）</translation>
    </message>
    <message>
        <source>ERR: Register start address </source>
        <translation>ERR: 寄存器起始地址 </translation>
    </message>
    <message>
        <source>is invalid!</source>
        <translation>无效！</translation>
    </message>
    <message>
        <source>:When reading register start from </source>
        <translation>:读取寄存器失败，起始地址 </translation>
    </message>
    <message>
        <source>SUCCESS: Setting register </source>
        <translation>成功：设置寄存器 </translation>
    </message>
    <message>
        <source> to value </source>
        <translation>，数值 </translation>
    </message>
    <message>
        <source>:When Setting register </source>
        <translation>:设置寄存器失败，寄存器 </translation>
    </message>
    <message>
        <source>success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>invalid argument</source>
        <translation>参数无效</translation>
    </message>
    <message>
        <source>port error</source>
        <translation>端口错误</translation>
    </message>
    <message>
        <source>no resource</source>
        <translation>资源不足</translation>
    </message>
    <message>
        <source>I/O error</source>
        <translation>输入/输出错误</translation>
    </message>
    <message>
        <source>illegal state</source>
        <translation>状态非法</translation>
    </message>
    <message>
        <source>in progress</source>
        <translation>正在进行</translation>
    </message>
    <message>
        <source>timed out</source>
        <translation>超时</translation>
    </message>
    <message>
        <source>exception: illegal function</source>
        <translation>异常：非法功能</translation>
    </message>
    <message>
        <source>exception: illegal data address</source>
        <translation>异常：非法数据地址</translation>
    </message>
    <message>
        <source>exception: illegal data value</source>
        <translation>异常：非法数据值</translation>
    </message>
    <message>
        <source>exception: slave device failure</source>
        <translation>异常：从站设备故障</translation>
    </message>
    <message>
        <source>exception: acknowledge</source>
        <translation>异常：已确认</translation>
    </message>
    <message>
        <source>exception: slave device busy</source>
        <translation>异常：从站设备忙</translation>
    </message>
    <message>
        <source>exception: memory parity error</source>
        <translation>异常：存储奇偶校验错误</translation>
    </message>
    <message>
        <source>exception: gateway path unavailable</source>
        <translation>异常：网关路径不可用</translation>
    </message>
    <message>
        <source>exception: gateway target failed</source>
        <translation>异常：网关目标设备无响应</translation>
    </message>
    <message>
        <source>unknown result</source>
        <translation>未知结果</translation>
    </message>
</context>
<context>
    <name>comSettingsWidget</name>
    <message>
        <source>ERR: The product name &quot;%1&quot; in %2 is not a plain folder name; it is not used</source>
        <translation>ERR: %2 中的产品名称 &quot;%1&quot; 不是单纯的文件夹名，未被采用</translation>
    </message>
    <message>
        <source>ERR: The settings could not be saved to %1</source>
        <translation>ERR: 无法将设置保存到 %1</translation>
    </message>
    <message>
        <source>comSettingsWidget</source>
        <translation>通信设置</translation>
    </message>
    <message>
        <source>Com Mode:</source>
        <translation>通信模式：</translation>
    </message>
    <message>
        <source>Com Port:</source>
        <translation>串口：</translation>
    </message>
    <message>
        <source>Device Id:</source>
        <translation>设备地址：</translation>
    </message>
    <message>
        <source>BaudRate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>DataLen:</source>
        <translation>数据位：</translation>
    </message>
    <message>
        <source>StopBits:</source>
        <translation>停止位：</translation>
    </message>
    <message>
        <source>Parity:</source>
        <translation>校验：</translation>
    </message>
    <message>
        <source>Resp. Timeout(ms):</source>
        <translation>响应超时(ms)：</translation>
    </message>
    <message>
        <source>Retry Count:</source>
        <translation>重试次数：</translation>
    </message>
    <message>
        <source>Poll Cycle(ms):</source>
        <translation>轮询周期(ms)：</translation>
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
        <translation>开机启动</translation>
    </message>
    <message>
        <source>Auto Hide</source>
        <translation>自动隐藏</translation>
    </message>
    <message>
        <source>ERR: The start at log-on could not be registered in %1</source>
        <translation>ERR: 无法在 %1 中添加登录时启动项</translation>
    </message>
    <message>
        <source>ERR: The start at log-on could not be removed from %1</source>
        <translation>ERR: 无法从 %1 中删除登录时启动项</translation>
    </message>
    <message>
        <source>Product: %1</source>
        <translation>产品：%1</translation>
    </message>
    <message>
        <source>ERR: The password could not be saved to %1</source>
        <translation>错误：无法将密码保存到 %1</translation>
    </message>
    <message>
        <source>Host:</source>
        <translation>主机：</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>端口：</translation>
    </message>
    <message>
        <source>UPS Name:</source>
        <translation>UPS 名称：</translation>
    </message>
    <message>
        <source>List</source>
        <translation>列出</translation>
    </message>
    <message>
        <source>Ask upsd for the names of its UPS</source>
        <translation>向 upsd 查询其 UPS 名称</translation>
    </message>
    <message>
        <source>User:</source>
        <translation>用户：</translation>
    </message>
    <message>
        <source>only for writes</source>
        <translation>仅写入时需要</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>密码：</translation>
    </message>
    <message>
        <source>upsd on %1: %2</source>
        <translation>%1 上的 upsd：%2</translation>
    </message>
    <message>
        <source>%1; the UPS name can be typed in</source>
        <translation>%1；可手动输入 UPS 名称</translation>
    </message>
    <message>
        <source>upsd lists no UPS</source>
        <translation>upsd 未列出任何 UPS</translation>
    </message>
</context>
<context>
    <name>configDialog</name>
    <message>
        <source>Set Register</source>
        <translation>设置寄存器</translation>
    </message>
    <message>
        <source>configDialog</source>
        <translation>设置寄存器</translation>
    </message>
    <message>
        <source>Allowed values: %1 to %2</source>
        <translation>允许的值：%1 到 %2</translation>
    </message>
    <message>
        <source>%1 is outside the allowed values %2 to %3</source>
        <translation>%1 超出允许的值 %2 到 %3</translation>
    </message>
    <message>
        <source>Write Register</source>
        <translation>写入寄存器</translation>
    </message>
    <message>
        <source>Register Address:</source>
        <translation>寄存器地址：</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Value:</source>
        <translation>数值：</translation>
    </message>
</context>
<context>
    <name>configWidget</name>
    <message>
        <source>configWidget</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>地址</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>数值</translation>
    </message>
    <message>
        <source>RW</source>
        <translation>读写</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>描述</translation>
    </message>
    <message>
        <source>Policy:</source>
        <translation>策略：</translation>
    </message>
    <message>
        <source>Post Process Script file:</source>
        <translation>后处理脚本文件：</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Post Process</source>
        <translation>后处理</translation>
    </message>
    <message>
        <source>shell scripts(*.sh)</source>
        <translation>Shell 脚本 (*.sh)</translation>
    </message>
    <message>
        <source>bat files(*.bat)</source>
        <translation>批处理文件 (*.bat)</translation>
    </message>
    <message>
        <source>all files(*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>Open bat file</source>
        <translation>选择后处理脚本</translation>
    </message>
    <message>
        <source>The script file dialog was cancelled: no post-process script is set any more.</source>
        <translation>已取消选择脚本文件：当前未设置后处理脚本。</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Warning level:</source>
        <translation>警告电量：</translation>
    </message>
    <message>
        <source>Critical level:</source>
        <translation>临界电量：</translation>
    </message>
    <message>
        <source>Run the post-process script at the critical level</source>
        <translation>达到临界电量时运行后处理脚本</translation>
    </message>
    <message>
        <source> s</source>
        <translation> 秒</translation>
    </message>
    <message>
        <source>At once</source>
        <translation>立即</translation>
    </message>
    <message>
        <source> min</source>
        <translation> 分钟</translation>
    </message>
    <message>
        <source>Ride-through delay:</source>
        <translation>断电延时：</translation>
    </message>
    <message>
        <source>Act when time left is below:</source>
        <translation>剩余时间低于此值时执行：</translation>
    </message>
    <message>
        <source>full path of the script, or choose it with ...</source>
        <translation>脚本的完整路径，或用 ... 选择</translation>
    </message>
    <message>
        <source>No post-process script is set any more.</source>
        <translation>当前未设置后处理脚本。</translation>
    </message>
    <message>
        <source>ERR: The post-process script needs its full path (starting with /): %1</source>
        <translation>ERR: 后处理脚本需要完整路径（以 / 开头）：%1</translation>
    </message>
    <message>
        <source>Post-process script not found: %1</source>
        <translation>未找到后处理脚本：%1</translation>
    </message>
</context>
<context>
    <name>inforWidget</name>
    <message>
        <source>inforWidget</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
    <message>
        <source>Save log…</source>
        <translation>保存日志…</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>Save log</source>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>文本文件 (*.txt)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>The log could not be saved to %1.</source>
        <translation>无法将日志保存到 %1。</translation>
    </message>
    <message>
        <source>ERR: The log could not be saved to %1: %2</source>
        <translation>ERR: 无法将日志保存到 %1：%2</translation>
    </message>
    <message>
        <source>The log was saved to %1.</source>
        <translation>日志已保存到 %1。</translation>
    </message>
</context>
<context>
    <name>instanceLock</name>
    <message>
        <source>WARN: The single-instance lock cannot be kept safely in %1; this instance runs without it</source>
        <translation>WARN: 无法在 %1 中安全地保存单实例锁，本实例在没有该锁的情况下运行</translation>
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
        <translation>产品：</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Chose</source>
        <translation>确定</translation>
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
        <source>Information</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>Comm</source>
        <translation>通信</translation>
    </message>
    <message>
        <source>Ambrel_</source>
        <translation>Ambrel_</translation>
    </message>
    <message>
        <source>Status Monitor</source>
        <translation>状态监控</translation>
    </message>
    <message>
        <source>Config</source>
        <translation>配置</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>版本 %1</translation>
    </message>
    <message>
        <source>Driver version %1</source>
        <translation>驱动库版本 %1</translation>
    </message>
    <message>
        <source>Monitors and configures the DC UPS module on a serial line.</source>
        <translation>通过串口监控和配置直流 UPS 模块。</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 Tarvel. All rights reserved. This program is provided as is, without warranty of any kind.</source>
        <translation>版权所有 (C) 2026 Tarvel。保留所有权利。本程序按“原样”提供，不附带任何形式的担保。</translation>
    </message>
    <message>
        <source>History</source>
        <translation>历史</translation>
    </message>
    <message>
        <source>Cancel pending action</source>
        <translation>取消待执行的操作</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Ambrel is protecting this computer: on battery, %1 %, the post-process script runs in %2 s. Quit anyway?</source>
        <translation>Ambrel 正在保护这台计算机：电池供电，%1 %，后处理脚本将在 %2 秒后运行。仍要退出吗？</translation>
    </message>
    <message>
        <source>Ambrel is protecting this computer: on battery, %1 %. Quit anyway?</source>
        <translation>Ambrel 正在保护这台计算机：电池供电，%1 %。仍要退出吗？</translation>
    </message>
    <message>
        <source>Show the configuration tab (while a module is connected)</source>
        <translation>显示配置选项卡（连接模块时）</translation>
    </message>
    <message>
        <source>Ambrel keeps running in the tray and watches the power. Quit it from the tray icon's menu.</source>
        <translation>Ambrel 仍在托盘中运行并监视电源。要退出程序，请使用托盘图标的菜单。</translation>
    </message>
</context>
<context>
    <name>statusBarPresenter</name>
    <message>
        <source>Disconnect</source>
        <translation>断开</translation>
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
        <translation>已断开</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>正在连接…</translation>
    </message>
    <message>
        <source>Disconnecting…</source>
        <translation>正在断开…</translation>
    </message>
    <message>
        <source>Reconnecting (attempt %1, next in %2 s)</source>
        <translation>正在重新连接（第 %1 次，%2 秒后重试）</translation>
    </message>
    <message>
        <source>Reconnecting (attempt %1)…</source>
        <translation>正在重新连接（第 %1 次）…</translation>
    </message>
</context>
<context>
    <name>languageChooser</name>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Language Settings</source>
        <translation>语言设置</translation>
    </message>
    <message>
        <source>The language settings need to be restarted to take effect. Do you want to restart now?</source>
        <translation>语言设置需要重新启动程序后才能生效。是否立即重新启动？</translation>
    </message>
</context>
<context>
    <name>trayPresenter</name>
    <message>
        <source>Ambrel — not connected</source>
        <translation>Ambrel — 未连接</translation>
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
        <source>Ambrel</source>
        <translation>Ambrel</translation>
    </message>
    <message>
        <source>DC is connected.</source>
        <translation>DC 输入已接通。</translation>
    </message>
    <message>
        <source>DC is broken.</source>
        <translation>DC 输入掉电。</translation>
    </message>
    <message>
        <source>Ambrel — on battery, %1 %, low battery (critical)</source>
        <translation>Ambrel — 电池供电，%1 %，电量严重不足</translation>
    </message>
    <message>
        <source>Ambrel — on battery, %1 %, low battery</source>
        <translation>Ambrel — 电池供电，%1 %，电量低</translation>
    </message>
    <message>
        <source>Ambrel — on battery, %1 %</source>
        <translation>Ambrel — 电池供电，%1 %</translation>
    </message>
    <message>
        <source>Ambrel — on DC, %1 %, fully charged</source>
        <translation>Ambrel — 直流供电，%1 %，已充满</translation>
    </message>
    <message>
        <source>Ambrel — on DC, %1 %, charging</source>
        <translation>Ambrel — 直流供电，%1 %，正在充电</translation>
    </message>
    <message>
        <source>Ambrel — on DC</source>
        <translation>Ambrel — 直流供电</translation>
    </message>
    <message>
        <source>Ambrel — on battery</source>
        <translation>Ambrel — 电池供电</translation>
    </message>
    <message>
        <source>Ambrel — on DC, %1 %</source>
        <translation>Ambrel — 直流供电，%1 %</translation>
    </message>
    <message>
        <source>Ambrel — no answer from the module since %1</source>
        <translation>Ambrel — 自 %1 起模块无应答</translation>
    </message>
    <message>
        <source>Communication with the module lost.</source>
        <translation>与模块的通信已中断。</translation>
    </message>
    <message>
        <source>Communication with the module restored.</source>
        <translation>与模块的通信已恢复。</translation>
    </message>
    <message>
        <source>Time left: %1</source>
        <translation>剩余时间：%1</translation>
    </message>
</context>
<context>
    <name>restartHandover</name>
    <message>
        <source>Restarted to change the language.</source>
        <translation>已重新启动以切换语言。</translation>
    </message>
</context>
<context>
    <name>helpLauncher</name>
    <message>
        <source>No program to open .chm files is installed: install xchm (for example with &quot;sudo apt-get install xchm&quot;).</source>
        <translation>没有安装可打开 .chm 文件的程序：请安装 xchm（例如运行 &quot;sudo apt-get install xchm&quot;）。</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Cannot open help file: %1</source>
        <translation>无法打开帮助文件：%1</translation>
    </message>
    <message>
        <source>Cannot open help file %1: the program that opens files, xdg-open, is not installed: install xdg-utils (for example with &quot;sudo apt-get install xdg-utils&quot;).</source>
        <translation>无法打开帮助文件 %1：未安装用于打开文件的程序 xdg-open：请安装 xdg-utils（例如运行 &quot;sudo apt-get install xdg-utils&quot;）。</translation>
    </message>
</context>
<context>
    <name>statusMonitorWidget</name>
    <message>
        <source>statusMonitorWidget</source>
        <translation>状态监控</translation>
    </message>
    <message>
        <source>Battery Status</source>
        <translation>电池状态</translation>
    </message>
    <message>
        <source>Policy Mode:</source>
        <translation>策略模式：</translation>
    </message>
    <message>
        <source>NULL</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Power Supply:</source>
        <translation>供电方式：</translation>
    </message>
    <message>
        <source>DC</source>
        <translation>DC</translation>
    </message>
    <message>
        <source>Battery Status:</source>
        <translation>电池状态：</translation>
    </message>
    <message>
        <source>Discharging</source>
        <translation>放电中</translation>
    </message>
    <message>
        <source>Voltage Input:</source>
        <translation>输入电压：</translation>
    </message>
    <message>
        <source>Voltage Output:</source>
        <translation>输出电压：</translation>
    </message>
    <message>
        <source>DO Status</source>
        <translation>DO 状态</translation>
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
        <translation>DI 状态</translation>
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
        <translation>充电中</translation>
    </message>
    <message>
        <source>Charge Full</source>
        <translation>已充满</translation>
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
        <translation> 秒</translation>
    </message>
    <message>
        <source>20 Sec.</source>
        <translation>20 秒</translation>
    </message>
    <message>
        <source>15 Sec.</source>
        <translation>15 秒</translation>
    </message>
    <message>
        <source>10 Sec.</source>
        <translation>10 秒</translation>
    </message>
    <message>
        <source>5 Sec.</source>
        <translation>5 秒</translation>
    </message>
    <message>
        <source>Battery low: %1 % (warning level %2 %).</source>
        <translation>电池电量低：%1 %（警告电量 %2 %）。</translation>
    </message>
    <message>
        <source>Battery critical: %1 % (critical level %2 %).</source>
        <translation>电池电量严重不足：%1 %（临界电量 %2 %）。</translation>
    </message>
    <message>
        <source>DC is connected.</source>
        <translation>DC 输入已接通。</translation>
    </message>
    <message>
        <source>DC is broken.</source>
        <translation>DC 输入掉电。</translation>
    </message>
    <message>
        <source>SW ON.</source>
        <translation>SW 输出已打开。</translation>
    </message>
    <message>
        <source>SW OFF.</source>
        <translation>SW 输出已关闭。</translation>
    </message>
    <message>
        <source>Time left:</source>
        <translation>剩余时间：</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
</context>
<context>
    <name>batThread</name>
    <message>
        <source>Post-process script not found: %1</source>
        <translation>未找到后处理脚本：%1</translation>
    </message>
    <message>
        <source>Post-process script could not be started: %1</source>
        <translation>无法启动后处理脚本：%1</translation>
    </message>
    <message>
        <source>Post-process script started: %1</source>
        <translation>后处理脚本已启动：%1</translation>
    </message>
    <message>
        <source>Post-process script ended after %1 s (time limit).</source>
        <translation>后处理脚本运行 %1 秒后被结束（超出时限）。</translation>
    </message>
    <message>
        <source>Post-process script ended as the program stops.</source>
        <translation>程序退出，后处理脚本已被结束。</translation>
    </message>
    <message>
        <source>Post-process script ended with exit status %1.</source>
        <translation>后处理脚本已结束，退出状态 %1。</translation>
    </message>
    <message>
        <source>Post-process script ended by signal %1.</source>
        <translation>后处理脚本被信号 %1 结束。</translation>
    </message>
    <message>
        <source>Post-process script ended.</source>
        <translation>后处理脚本已结束。</translation>
    </message>
</context>
<context>
    <name>monitorThread</name>
    <message>
        <source>ERR:%1: Registers %2 to %3 could not be read; they are shown empty</source>
        <translation>ERR:%1: 寄存器 %2 至 %3 无法读取，显示为空</translation>
    </message>
    <message>
        <source>ERR:%1:When reading register start from %2 (%3)</source>
        <translation>ERR:%1:从寄存器 %2 开始读取时出错（%3）</translation>
    </message>
    <message>
        <source>Communication with the module lost (error %1: %2)</source>
        <translation>与模块的通信中断（错误 %1：%2）</translation>
    </message>
    <message>
        <source>Still no answer, %1 attempts (error %2: %3)</source>
        <translation>仍无应答，已尝试 %1 次（错误 %2：%3）</translation>
    </message>
    <message>
        <source>Register %1 not written: the module is not connected</source>
        <translation>寄存器 %1 未写入：模块未连接</translation>
    </message>
    <message>
        <source>Register %1 = %2 not written: the line was lost</source>
        <translation>寄存器 %1 = %2 未写入：通信已中断</translation>
    </message>
    <message>
        <source>Communication restored after %1</source>
        <translation>通信已恢复，中断时长 %1</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 分 %2 秒</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 小时 %2 分</translation>
    </message>
    <message>
        <source>%1 not written: the UPS is not connected</source>
        <translation>%1 未写入：UPS 未连接</translation>
    </message>
    <message>
        <source>%1 = %2 not written: the line was lost</source>
        <translation>%1 = %2 未写入：连接已丢失</translation>
    </message>
    <message>
        <source>Communication with the UPS lost (%1)</source>
        <translation>与 UPS 的通信丢失（%1）</translation>
    </message>
    <message>
        <source>Still no answer, %1 attempts (%2)</source>
        <translation>仍无应答，已尝试 %1 次（%2）</translation>
    </message>
    <message>
        <source>upsd on %1: %2</source>
        <translation>%1 上的 upsd：%2</translation>
    </message>
    <message>
        <source>%1; UPS &quot;%2&quot; is not watched until Connect is pressed again</source>
        <translation>%1；在再次按下“连接”之前不再监视 UPS &quot;%2&quot;</translation>
    </message>
    <message>
        <source>Watching UPS &quot;%1&quot; on upsd %2:%3</source>
        <translation>正在监视 upsd %2:%3 上的 UPS &quot;%1&quot;</translation>
    </message>
    <message>
        <source>no user is set for upsd on the Comm page</source>
        <translation>通信页面上未设置 upsd 用户</translation>
    </message>
    <message>
        <source>upsd on %1 refused the login of user %2 (%3)</source>
        <translation>%1 上的 upsd 拒绝了用户 %2 的登录（%3）</translation>
    </message>
    <message>
        <source>%1 set to %2</source>
        <translation>%1 已设为 %2</translation>
    </message>
    <message>
        <source>%1 not written: %2</source>
        <translation>%1 未写入：%2</translation>
    </message>
</context>
<context>
    <name>upsDataModel</name>
    <message>
        <source>ERR: The register table %1 is larger than %2 KB and is not loaded</source>
        <translation>ERR: 寄存器表 %1 大于 %2 KB，未加载</translation>
    </message>
    <message>
        <source>read-only</source>
        <translation>只读</translation>
    </message>
</context>
<context>
    <name>historyStore</name>
    <message>
        <source>%1 cannot be written</source>
        <translation>无法写入 %1</translation>
    </message>
    <message>
        <source>The history file was damaged; it was moved to %1 and a new one started.</source>
        <translation>历史文件已损坏；已移至 %1，并新建了一个历史文件。</translation>
    </message>
    <message>
        <source>History unavailable: %1</source>
        <translation>历史记录不可用：%1</translation>
    </message>
    <message>
        <source>History busy, kept to write later: %1: %2</source>
        <translation>历史记录文件繁忙，数据已保留待稍后写入：%1：%2</translation>
    </message>
    <message>
        <source>History written again: %1</source>
        <translation>历史记录已恢复写入：%1</translation>
    </message>
</context>
<context>
    <name>historyChart</name>
    <message>
        <source>DC lost</source>
        <translation>直流断开</translation>
    </message>
    <message>
        <source>DC back</source>
        <translation>直流恢复</translation>
    </message>
    <message>
        <source>SW on</source>
        <translation>SW 开</translation>
    </message>
    <message>
        <source>SW off</source>
        <translation>SW 关</translation>
    </message>
    <message>
        <source>Line lost</source>
        <translation>通信中断</translation>
    </message>
    <message>
        <source>Line restored</source>
        <translation>通信恢复</translation>
    </message>
    <message>
        <source>Low battery</source>
        <translation>电池电量低</translation>
    </message>
    <message>
        <source>Critical battery</source>
        <translation>电池电量严重不足</translation>
    </message>
    <message>
        <source>Script started</source>
        <translation>脚本已启动</translation>
    </message>
    <message>
        <source>Script ended</source>
        <translation>脚本已结束</translation>
    </message>
    <message>
        <source>Register written</source>
        <translation>已写寄存器</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>已断开</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Charge (%)</source>
        <translation>电量 (%)</translation>
    </message>
    <message>
        <source>Input (V)</source>
        <translation>输入 (V)</translation>
    </message>
    <message>
        <source>Output (V)</source>
        <translation>输出 (V)</translation>
    </message>
    <message>
        <source>On battery</source>
        <translation>电池供电</translation>
    </message>
    <message>
        <source>No samples in this time range</source>
        <translation>此时间范围内没有数据</translation>
    </message>
    <message>
        <source>No data before %1</source>
        <translation>%1 之前没有数据</translation>
    </message>
    <message>
        <source>No samples at this time</source>
        <translation>此时没有数据</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>%1 V</source>
        <translation>%1 V</translation>
    </message>
    <message>
        <source>Charge: %1 %</source>
        <translation>电量：%1 %</translation>
    </message>
    <message>
        <source>Input: %1</source>
        <translation>输入：%1</translation>
    </message>
    <message>
        <source>Output: %1</source>
        <translation>输出：%1</translation>
    </message>
    <message>
        <source>… and %1 more</source>
        <translation>……另有 %1 条</translation>
    </message>
</context>
<context>
    <name>historyWidget</name>
    <message>
        <source>Range:</source>
        <translation>范围：</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 小时</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 小时</translation>
    </message>
    <message>
        <source>7 d</source>
        <translation>7 天</translation>
    </message>
    <message>
        <source>30 d</source>
        <translation>30 天</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>跟随</translation>
    </message>
    <message>
        <source>Keep the range ending now and refresh it every few seconds</source>
        <translation>使范围结束于当前时间，并每隔几秒刷新</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>导出…</translation>
    </message>
    <message>
        <source>Write the samples and events of the range shown as CSV files</source>
        <translation>将所示范围内的数据和事件写入 CSV 文件</translation>
    </message>
    <message>
        <source>Events:</source>
        <translation>事件：</translation>
    </message>
    <message>
        <source>All kinds</source>
        <translation>全部类型</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>事件</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>详情</translation>
    </message>
    <message>
        <source>The history is unavailable.</source>
        <translation>历史记录不可用。</translation>
    </message>
    <message>
        <source>The history is unavailable: %1</source>
        <translation>历史记录不可用：%1</translation>
    </message>
    <message>
        <source>Events shown: %1</source>
        <translation>显示的事件：%1</translation>
    </message>
    <message>
        <source>Export history</source>
        <translation>导出历史记录</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>History exported to %1 and %2.</source>
        <translation>历史记录已导出到 %1 和 %2。</translation>
    </message>
    <message>
        <source>The history could not be exported: %1</source>
        <translation>无法导出历史记录：%1</translation>
    </message>
</context>
<context>
    <name>powerActions</name>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>about %1 s</source>
        <translation>约 %1 秒</translation>
    </message>
    <message>
        <source>about %1 min</source>
        <translation>约 %1 分钟</translation>
    </message>
    <message>
        <source>Post-process script in %1 s: DC lost</source>
        <translation>后处理脚本将在 %1 秒后运行：直流断开</translation>
    </message>
    <message>
        <source>Pending action cancelled: the post-process script will not run for this outage.</source>
        <translation>待执行的操作已取消：本次断电不会运行后处理脚本。</translation>
    </message>
    <message>
        <source>DC lost: the post-process script runs in %1 s unless the DC comes back.</source>
        <translation>直流断开：除非直流恢复，后处理脚本将在 %1 秒后运行。</translation>
    </message>
    <message>
        <source>DC back after %1 s: the post-process script was not run.</source>
        <translation>直流在 %1 秒后恢复：未运行后处理脚本。</translation>
    </message>
    <message>
        <source>DC still lost after %1 s: the post-process script runs.</source>
        <translation>直流断开已 %1 秒：运行后处理脚本。</translation>
    </message>
    <message>
        <source>Battery time left %1: below the level of %2 min.</source>
        <translation>电池剩余时间%1：低于 %2 分钟的设定值。</translation>
    </message>
</context>
<context>
    <name>nutVariablesWidget</name>
    <message>
        <source>Variable</source>
        <translation>变量</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Accepts</source>
        <translation>可接受的值</translation>
    </message>
    <message>
        <source>New value of %1:</source>
        <translation>%1 的新值：</translation>
    </message>
    <message>
        <source>Write a variable</source>
        <translation>写入变量</translation>
    </message>
    <message>
        <source>text of up to %1 characters</source>
        <translation>最多 %1 个字符的文本</translation>
    </message>
    <message>
        <source>%1 is not one of the values %2 accepts</source>
        <translation>%1 不是 %2 可接受的值</translation>
    </message>
    <message>
        <source>%1 is outside the ranges %2 accepts</source>
        <translation>%1 超出 %2 可接受的范围</translation>
    </message>
    <message>
        <source>%1 takes at most %2 characters</source>
        <translation>%1 最多接受 %2 个字符</translation>
    </message>
    <message>
        <source>a value holds no line break</source>
        <translation>值中不能包含换行符</translation>
    </message>
    <message>
        <source>%1 not written: %2</source>
        <translation>%1 未写入：%2</translation>
    </message>
    <message>
        <source>Writing %1 = %2 ...</source>
        <translation>正在写入 %1 = %2 ...</translation>
    </message>
    <message>
        <source>%1 not written: upsd does not list it as writable</source>
        <translation>%1 未写入：upsd 未将其列为可写</translation>
    </message>
    <message>
        <source>%1 set to %2</source>
        <translation>%1 已设为 %2</translation>
    </message>
</context>
</TS>
