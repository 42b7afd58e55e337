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
        case Reason::Other:
            break;
    }
    return failure.detail;
}

}  // namespace ExtraTexts
