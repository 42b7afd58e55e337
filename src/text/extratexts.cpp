#include "text/extratexts.h"

#include "link/openfailure.h"
#include "text/messagetable.h"

namespace {

constexpr const char16_t* kTexts[ExtraTexts::kRows][MessageTable::kLanguages] = {
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
};

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
