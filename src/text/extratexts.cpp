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
