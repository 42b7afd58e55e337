#include "text/extratexts.h"

#include <iterator>

#include "link/openfailure.h"
#include "text/messagetable.h"

namespace {

constexpr const char16_t* kTexts[][MessageTable::kLanguages] = {
    {u"&Traffic log", u"通讯记录(&T)", u"通訊記錄(&T)"},
    {u"Traffic log", u"通讯记录", u"通訊記錄"},
    {u"Pause", u"暂停", u"暫停"},
    {u"Clear", u"清除", u"清除"},
    {u"Save...", u"保存...", u"儲存..."},
    {u"%1 lines saved to %2", u"已保存 %1 行到 %2", u"已儲存 %1 行至 %2"},
    {u"Cannot save %1: %2", u"无法保存 %1: %2", u"無法儲存 %1: %2"},
    {u"no device for this port number", u"此串口号没有对应的设备", u"此串口號沒有對應的裝置"},
    {u"device not found", u"找不到设备", u"找不到裝置"},
    {u"permission denied", u"没有权限", u"沒有權限"},
    {u"permission denied: add your user to the group %1, then log in again",
     u"没有权限: 请将您的用户加入群组 %1, 然后重新登录",
     u"沒有權限: 請將您的使用者加入群組 %1, 然後重新登入"},
    {u"in use by another program", u"正被其他程序使用", u"正被其他程式使用"},
    {u"not a network port name: %1", u"不是有效的网络串口名称: %1",
     u"不是有效的網路序列埠名稱: %1"},
    {u"host not found", u"找不到主机", u"找不到主機"},
    {u"connection refused", u"连接被拒绝", u"連線被拒絕"},
    {u"no answer within %1 s", u"%1 秒内没有应答", u"%1 秒內沒有回應"},
    {u"the server refused serial port control (COM-PORT option)",
     u"服务器拒绝串口控制 (COM-PORT 选项)", u"伺服器拒絕序列埠控制 (COM-PORT 選項)"},
    {u"the line setting cannot be set: %1", u"无法设置通讯参数: %1", u"無法設定通訊參數: %1"},
    {u"the server closed the connection", u"服务器关闭了连接", u"伺服器關閉了連線"},
    {u"&Bus survey...", u"总线搜索(&B)...", u"匯流排搜尋(&B)..."},
    {u"Bus survey", u"总线搜索", u"匯流排搜尋"},
    {u"Port", u"串口", u"序列埠"},
    {u"Line setting", u"通讯参数", u"通訊參數"},
    {u"All line settings", u"全部通讯参数", u"全部通訊參數"},
    {u"Type", u"类型", u"類型"},
    {u"Current type (%1)", u"当前类型 (%1)", u"目前類型 (%1)"},
    {u"All types", u"全部类型", u"全部類型"},
    {u"Start", u"开始", u"開始"},
    {u"Stop", u"停止", u"停止"},
    {u"%1 %2, ID %3: about %4 s left", u"%1 %2, ID %3: 约剩 %4 秒", u"%1 %2, ID %3: 約剩 %4 秒"},
    {u"%1 module(s) found", u"找到 %1 个模组", u"找到 %1 個模組"},
    {u"Stopped: %1 module(s) found so far", u"已停止: 目前找到 %1 个模组",
     u"已停止: 目前找到 %1 個模組"},
    {u"%1 ID %2 at %3: two modules share the ID, or the line is noisy",
     u"%1 ID %2 (%3): 两个模组使用同一 ID, 或线路有干扰",
     u"%1 ID %2 (%3): 兩個模組使用同一 ID, 或線路有干擾"},
    {u"%1 ID %2 at %3: several modules answer together; their serial numbers are needed: "
     u"connect them one at a time, or name them in a plan",
     u"%1 ID %2 (%3): 多个模组同时应答; 需要它们的序号: 请逐一连接, 或在计划中列出",
     u"%1 ID %2 (%3): 多個模組同時回應; 需要它們的序號: 請逐一連接, 或在計畫中列出"},
    {u"An operation or a test is running", u"正在执行操作或测试", u"正在執行操作或測試"},
    {u"%1 does not open: %2", u"%1 无法打开: %2", u"%1 無法開啟: %2"},
    {u"Type|ID|Line setting|Serial number|Version", u"类型|ID|通讯参数|序号|版本",
     u"類型|ID|通訊參數|序號|版本"},
    {u"Double-click a module to link to it", u"双击模组以连线", u"雙擊模組以連線"},
    {u"cancelled", u"已取消", u"已取消"},
    {u"connecting to %1...", u"正在连接 %1...", u"正在連線 %1..."},
    {u"All mapped ports", u"全部已映射的串口", u"全部已對應的序列埠"},
    {u"Read each module's settings", u"读取每个模组的设置", u"讀取每個模組的設定"},
    {u"Save as plan...", u"另存为计划...", u"另存為計畫..."},
    {u"Plan of %1 module(s) saved to %2", u"%1 个模组的计划已保存到 %2",
     u"%1 個模組的計畫已儲存至 %2"},
    {u"Asking ID 00 at every line setting and type: at most %1 s left",
     u"正在以 ID 00 询问每个通讯参数与类型: 最多剩 %1 秒",
     u"正在以 ID 00 詢問每個通訊參數與類型: 最多剩 %1 秒"},
    {u"%1 buses: about %2 s left", u"%1 条总线: 约剩 %2 秒", u"%1 條匯流排: 約剩 %2 秒"},
    {u"CH #2 of %1", u"%1 的 CH #2", u"%1 的 CH #2"},
    {u"Choose at least one port", u"请至少选择一个串口", u"請至少選擇一個序列埠"},
    {u"IDs", u"ID 范围", u"ID 範圍"},
    {u"IDs: N or A-B within 1..99", u"ID 范围: N 或 A-B, 在 1..99 之内",
     u"ID 範圍: N 或 A-B, 在 1..99 之內"},
    {u"Timeline...", u"时序图...", u"時序圖..."},
    {u"DI timeline", u"DI 时序图", u"DI 時序圖"},
    {u"10 s|60 s|10 min", u"10 秒|60 秒|10 分钟", u"10 秒|60 秒|10 分鐘"},
    {u"DO lanes", u"显示 DO", u"顯示 DO"},
    {u"Resume", u"继续", u"繼續"},
    {u"Chattering above", u"抖动门限", u"抖動門檻"},
    {u" changes/s", u" 次/秒", u" 次/秒"},
    {u"chattering: %1 changes in 1 s", u"抖动: 1 秒内变化 %1 次", u"抖動: 1 秒內變化 %1 次"},
    {u"%1: %2 changes since the test started", u"%1: 测试开始后变化 %2 次",
     u"%1: 測試開始後變化 %2 次"},
    {u"Changes as CSV (*.csv);;Picture (*.png)", u"变化记录 CSV (*.csv);;图片 (*.png)",
     u"變化記錄 CSV (*.csv);;圖片 (*.png)"},
    {u"Saved to %1", u"已保存到 %1", u"已儲存至 %1"},
    {u"The DI/DO test records the inputs here while it runs", u"DI/DO 测试运行时在此记录输入",
     u"DI/DO 測試執行時在此記錄輸入"},
    {u"Test ended after %1 s: %2 exchanges, %3 without a reply",
     u"测试于 %1 秒后结束: 通讯 %2 次, %3 次无应答",
     u"測試於 %1 秒後結束: 通訊 %2 次, %3 次無回應"},
    {u"Log...", u"记录...", u"記錄..."},
    {u"Card log", u"读卡记录", u"讀卡記錄"},
    {u"Time|Channel|Card (decimal)|Card (hex)|Key", u"时间|通道|卡号 (十进制)|卡号 (十六进制)|按键",
     u"時間|通道|卡號 (十進位)|卡號 (十六進位)|按鍵"},
    {u"CH #1: %1   CH #2: %2", u"CH #1: %1   CH #2: %2", u"CH #1: %1   CH #2: %2"},
    {u"CSV (*.csv)", u"CSV (*.csv)", u"CSV (*.csv)"},
    {u"Check I/O", u"I/O 检查", u"I/O 檢查"},
    {u"I/O check", u"I/O 检查", u"I/O 檢查"},
    {u"Wire each output DO k to its input DI k, then press Check I/O on the DI/DO page.",
     u"请将每个输出 DO k 接到输入 DI k, 再按 DI/DO 页面的 I/O 检查.",
     u"請將每個輸出 DO k 接到輸入 DI k, 再按 DI/DO 頁面的 I/O 檢查."},
    {u"Input|Verdict|Seen", u"输入|结果|读到", u"輸入|結果|讀到"},
    {u"The input at each step: all outputs off, DO1 ... DO16 alone, all on",
     u"每一步的输入: 输出全关, 单独 DO1 ... DO16, 输出全开",
     u"每一步的輸入: 輸出全關, 單獨 DO1 ... DO16, 輸出全開"},
    {u"Step %1 of %2", u"第 %1 步, 共 %2 步", u"第 %1 步, 共 %2 步"},
    {u"ok", u"正常", u"正常"},
    {u"stuck off", u"一直断开", u"一直斷開"},
    {u"stuck on", u"一直导通", u"一直導通"},
    {u"crossed: follows DO%1", u"交叉: 跟随 DO%1", u"交叉: 跟隨 DO%1"},
    {u"chattering", u"抖动", u"抖動"},
    {u"not checked", u"未检查", u"未檢查"},
    {u"I/O check ok: all 16 inputs follow their outputs", u"I/O 检查正常: 16 个输入都跟随其输出",
     u"I/O 檢查正常: 16 個輸入都跟隨其輸出"},
    {u"I/O check: %1 of 16 inputs failed", u"I/O 检查: 16 个输入中 %1 个有故障",
     u"I/O 檢查: 16 個輸入中 %1 個有故障"},
    {u"I/O check cancelled: %1 input(s) not checked", u"I/O 检查已取消: %1 个输入未检查",
     u"I/O 檢查已取消: %1 個輸入未檢查"},
    {u"%1 input(s) not checked", u"%1 个输入未检查", u"%1 個輸入未檢查"},
    {u"The outputs may still be on: the module did not confirm them off",
     u"输出可能仍然开着: 模组没有确认已关闭", u"輸出可能仍然開著: 模組沒有確認已關閉"},
    {u"&Register...", u"现场记录(&R)...", u"現場記錄(&R)..."},
    {u"Site register", u"现场记录", u"現場記錄"},
    {u"Site", u"现场", u"現場"},
    {u"Filter", u"筛选", u"篩選"},
    {u"serial, type, site or any text; serial:, type:, site: for one column",
     u"序号、类型、现场或任意文字; serial:、type:、site: 限定栏位",
     u"序號、類型、現場或任意文字; serial:、type:、site: 限定欄位"},
    {u"Export", u"导出", u"匯出"},
    {u"Modules as CSV...", u"模组表导出为 CSV...", u"模組表匯出為 CSV..."},
    {u"History of the module as CSV...", u"模组历程导出为 CSV...", u"模組歷程匯出為 CSV..."},
    {u"Type|Serial number|Version|ID|Line setting|Port|Site|Last seen|Last test",
     u"类型|序号|版本|ID|通讯参数|串口|现场|最后出现|最后测试",
     u"類型|序號|版本|ID|通訊參數|序列埠|現場|最後出現|最後測試"},
    {u"Time|Source|Operation|Before|Wanted|After|Outcome|Verified|Site|Port|ID|Line setting",
     u"时间|来源|操作|之前|目标|之后|结果|已验证|现场|串口|ID|通讯参数",
     u"時間|來源|操作|之前|目標|之後|結果|已驗證|現場|序列埠|ID|通訊參數"},
    {u"%1 of %2 modules", u"%2 个模组中的 %1 个", u"%2 個模組中的 %1 個"},
    {u"%1 rows saved to %2", u"已保存 %1 行到 %2", u"已儲存 %1 列至 %2"},
    {u"The site register is off: %1. Every operation still works; nothing is recorded.",
     u"现场记录已关闭: %1。所有操作仍可使用, 但不会记录。",
     u"現場記錄已關閉: %1。所有操作仍可使用, 但不會記錄。"},
    {u"No register (--no-register)", u"未使用现场记录 (--no-register)",
     u"未使用現場記錄 (--no-register)"},
    {u"yes", u"是", u"是"},
    {u"no", u"否", u"否"},
    {u"%1 is not a register database; it is left as it is", u"%1 不是现场记录数据库; 已保持原样",
     u"%1 不是現場記錄資料庫; 已保持原樣"},
    {u"%1 is a database of another program; it is left as it is",
     u"%1 是其他程序的数据库; 已保持原样", u"%1 是其他程式的資料庫; 已保持原樣"},
    {u"%1 is a register of a newer version of Quillon", u"%1 来自较新版本的 Quillon",
     u"%1 來自較新版本的 Quillon"},
    {u"%1 is read-only", u"%1 为只读", u"%1 為唯讀"},
    {u"the folder of %1 is missing and cannot be made", u"%1 的文件夹不存在且无法建立",
     u"%1 的資料夾不存在且無法建立"},
    {u"the folder of %1 cannot be written", u"%1 的文件夹无法写入", u"%1 的資料夾無法寫入"},
    {u"the disk that holds %1 is full", u"存放 %1 的磁盘已满", u"存放 %1 的磁碟已滿"},
    {u"%1 stays locked by another program", u"%1 一直被其他程序锁定", u"%1 一直被其他程式鎖定"},
    {u"Report...", u"报告...", u"報告..."},
    {u"Replace...", u"更换...", u"更換..."},
    {u"Commissioning report", u"调试报告", u"調試報告"},
    {u"Site|Covers|Dates|Made|Quillon|Modules|Passed", u"现场|范围|日期|生成时间|Quillon|模组|通过",
     u"現場|範圍|日期|產生時間|Quillon|模組|通過"},
    {u"Type|Serial number|Version|ID|Line setting|Settings|Commissioning|Live test|Verdict|Time",
     u"类型|序号|版本|ID|通讯参数|类型设定|调试结果|现场测试|判定|时间",
     u"類型|序號|版本|ID|通訊參數|類型設定|調試結果|現場測試|判定|時間"},
    {u"%1 of %2", u"%2 个中的 %1 个", u"%2 個中的 %1 個"},
    {u"passed|failed|no card read|not run", u"通过|失败|未读到卡|未执行",
     u"通過|失敗|未讀到卡|未執行"},
    {u"DI/DO test|Card read test|I/O check", u"DI/DO 测试|读卡测试|I/O 检查",
     u"DI/DO 測試|讀卡測試|I/O 檢查"},
    {u"All sites", u"所有现场", u"所有現場"},
    {u"No module for %1: no report written", u"%1 没有模组: 未生成报告",
     u"%1 沒有模組: 未產生報告"},
    {u"PDF (*.pdf);;CSV (*.csv)", u"PDF (*.pdf);;CSV (*.csv)", u"PDF (*.pdf);;CSV (*.csv)"},
    {u"Report of %1 module(s) saved to %2", u"已保存 %1 个模组的报告到 %2",
     u"已儲存 %1 個模組的報告至 %2"},
    {u"Replace module", u"更换模组", u"更換模組"},
    {u"Take %1 %2 off the bus and connect the new module of its type to %3 (a new module answers "
     u"at ID 01, 19200,e,8,1), then press Replace. It takes the old one's ID %4, %5 and settings.",
     u"请将 %1 %2 从总线上取下, 并将同类型的新模组接到 %3 (新模组以 ID 01、19200,e,8,1 应答), "
     u"然后按「更换」。新模组将取得旧模组的 ID %4、%5 及其设定。",
     u"請將 %1 %2 從匯流排上取下, 並將同類型的新模組接到 %3 (新模組以 ID 01、19200,e,8,1 回應), "
     u"然後按「更換」。新模組將取得舊模組的 ID %4、%5 及其設定。"},
    {u"Replace", u"更换", u"更換"},
    {u"%1 %2 took the place of %3: ID %4, %5, verified by read-back",
     u"%1 %2 已取代 %3: ID %4、%5, 已回读验证", u"%1 %2 已取代 %3: ID %4、%5, 已回讀驗證"},
    {u"Not replaced: %1", u"未更换: %1", u"未更換: %1"},
    {u"Choose the module to replace in the table", u"请在表中选择要更换的模组",
     u"請在表中選擇要更換的模組"},
    {u"Check I/O switches every output of the module on and off in turn. Whatever the outputs "
     u"drive (door locks, sirens) switches with them.\n\nSwitch every output now?",
     u"I/O 检查会依次打开和关闭模组的每个输出，输出所驱动的设备（门锁、警报器）也会随之动作。"
     u"\n\n现在切换所有输出吗？",
     u"I/O 檢查會依次開啟和關閉模組的每個輸出，輸出所驅動的設備（門鎖、警報器）也會隨之動作。"
     u"\n\n現在切換所有輸出嗎？"},
    {u"Do not ask again for this site", u"此现场不再询问", u"此現場不再詢問"},
    {u"Server", u"服务器", u"伺服器"},
    {u"postgresql://technician@server/database", u"postgresql://技术员@服务器/数据库",
     u"postgresql://技術員@伺服器/資料庫"},
    {u"Sync now", u"立即同步", u"立即同步"},
    {u"No server: the register stays on this computer", u"未设服务器: 记录只保存在本机",
     u"未設伺服器: 記錄只保存在本機"},
    {u"%1: not synced yet, %2 event(s) to send", u"%1: 尚未同步, 待发送 %2 条记录",
     u"%1: 尚未同步, 待傳送 %2 筆記錄"},
    {u"%1: syncing...", u"%1: 正在同步...", u"%1: 正在同步..."},
    {u"%1 as %2, %3: %4 sent, %5 fetched, %6 to send",
     u"%1 (%2), %3: 已发送 %4, 已取回 %5, 待发送 %6",
     u"%1 (%2), %3: 已傳送 %4, 已取回 %5, 待傳送 %6"},
    {u"%1, %2: %3; %4 event(s) to send, tried again in a minute",
     u"%1, %2: %3; 待发送 %4 条记录, 一分钟后重试", u"%1, %2: %3; 待傳送 %4 筆記錄, 一分鐘後重試"},
    {u"A password is never kept with the server's address: put it in ~/.pgpass (or the file "
     u"PGPASSFILE names, or a service file)",
     u"服务器地址中不保存密码: 请将密码写入 ~/.pgpass (或 PGPASSFILE 所指文件, 或服务文件)",
     u"伺服器位址中不保存密碼: 請將密碼寫入 ~/.pgpass (或 PGPASSFILE 所指檔案, 或服務檔案)"},
    {u"the server is unreachable", u"无法连接服务器", u"無法連線伺服器"},
    {u"the server refused the role or its password", u"服务器拒绝了该角色或其密码",
     u"伺服器拒絕了該角色或其密碼"},
    {u"no grant to add records of the site %1; they stay here, not sent",
     u"无权添加现场 %1 的记录; 记录保留在本机, 未发送",
     u"無權新增現場 %1 的記錄; 記錄保留在本機, 未傳送"},
    {u"the server's register is of a newer version of Quillon; nothing was sent",
     u"服务器上的记录来自更新版本的 Quillon; 未发送任何记录",
     u"伺服器上的記錄來自更新版本的 Quillon; 未傳送任何記錄"},
    {u"the server holds no register yet (register server init)",
     u"服务器上尚无记录库 (register server init)", u"伺服器上尚無記錄庫 (register server init)"},
    {u"this role has no grant for any site", u"该角色没有任何现场的权限",
     u"該角色沒有任何現場的權限"},
    {u"the connection to the server broke off", u"与服务器的连接中断", u"與伺服器的連線中斷"},
    {u"Qt's PostgreSQL driver is not installed (libqt6sql6-psql)",
     u"未安装 Qt 的 PostgreSQL 驱动 (libqt6sql6-psql)",
     u"未安裝 Qt 的 PostgreSQL 驅動 (libqt6sql6-psql)"},
    {u"not a server address: %1", u"不是服务器地址: %1", u"不是伺服器位址: %1"},
    {u"the server failed: %1", u"服务器出错: %1", u"伺服器出錯: %1"},
    {u"Site &checkout...", u"现场点检(&C)...", u"現場點檢(&C)..."},
    {u"Site checkout", u"现场点检", u"現場點檢"},
    {u"Bus|Module|Point|Label|State|Passed at", u"总线|模组|点位|名称|状态|通过时间",
     u"匯流排|模組|點位|名稱|狀態|通過時間"},
    {u"waiting|seen on|seen off|passed|chattering|module silent|port failed",
     u"等待|已见接通|已见断开|通过|抖动|模组无应答|端口失败",
     u"等待|已見接通|已見斷開|通過|抖動|模組無回應|埠失敗"},
    {u"%1 of %2 points passed", u"%2 个点位中 %1 个通过", u"%2 個點位中 %1 個通過"},
    {u"Only points still waiting", u"只显示未通过的点位", u"只顯示未通過的點位"},
    {u"Start", u"开始", u"開始"},
    {u"Stop", u"停止", u"停止"},
    {u"Save...", u"保存...", u"儲存..."},
    {u"Points list...", u"点位表...", u"點位表..."},
    {u"Asking the modules of %1 bus(es) round after round...", u"正在逐轮询问 %1 条总线上的模组...",
     u"正在逐輪詢問 %1 條匯流排上的模組..."},
    {u"No module found: choose the ports and line settings in the survey",
     u"未找到模组: 请在总线搜索中选择端口和通讯参数",
     u"未找到模組: 請在匯流排搜尋中選擇埠和通訊參數"},
    {u"%1 points saved to %2", u"已保存 %1 个点位到 %2", u"已儲存 %1 個點位至 %2"},
    {u"Points list refused: %1", u"点位表被拒绝: %1", u"點位表被拒絕: %1"},
    {u"Points", u"点位", u"點位"},
    {u"Type|Serial number|Point|Label|Passed or why not|Time",
     u"类型|序号|点位|名称|通过或原因|时间", u"類型|序號|點位|名稱|通過或原因|時間"},
};
// Every row has its texts.
static_assert(std::size(kTexts) == ExtraTexts::kRows);

}  // namespace

namespace ExtraTexts {

QString text(int row, int langIndex) {
    if (row < 0 || row >= kRows) return QString();
    if (langIndex < 0 || langIndex >= MessageTable::kLanguages) langIndex = Languages::kEnglish;
    return QString::fromUtf16(kTexts[row][langIndex]);
}

QString describe(const OpenFailure& failure, int langIndex) {
    using Reason = OpenFailure::Reason;
    switch (failure.reason) {
        case Reason::None:
            return QString();
        case Reason::NoDevice:
            return text(kNoDevice, langIndex);
        case Reason::NotFound:
            return text(kNotFound, langIndex);
        case Reason::PermissionDenied:
            return failure.group.isEmpty() ? text(kPermissionDenied, langIndex)
                                           : text(kPermissionGroup, langIndex).arg(failure.group);
        case Reason::InUse:
            return text(kInUse, langIndex);
        case Reason::BadName:
            return text(kBadName, langIndex).arg(failure.detail);
        case Reason::HostNotFound:
            return text(kHostNotFound, langIndex);
        case Reason::ConnectionRefused:
            return text(kConnectionRefused, langIndex);
        case Reason::NoAnswer:
            return text(kNoAnswer, langIndex)
                .arg(QString::number(failure.boundMs / 1000.0, 'g', 3));
        case Reason::ComPortRefused:
            return text(kComPortRefused, langIndex);
        case Reason::LineSettingRefused:
            return text(kLineSettingRefused, langIndex).arg(failure.detail);
        case Reason::Cancelled:
            return text(kCancelled, langIndex);
        case Reason::ConnectionClosed:
            // What the server said, if anything, is in its own words.
            return failure.detail.isEmpty()
                       ? text(kConnectionClosed, langIndex)
                       : text(kConnectionClosed, langIndex) + QStringLiteral(": ") + failure.detail;
        case Reason::Other:
            break;
    }
    return failure.detail;
}

}  // namespace ExtraTexts
