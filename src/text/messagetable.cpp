#include "text/messagetable.h"

namespace {

// One row per text: English, Simplified Chinese, Traditional Chinese. Row 0 holds the font
// face of each language. Rows 15 and 16 end in an open bracket that the caller completes with
// the port number.
constexpr const char16_t* kTexts[MessageTable::kRows][MessageTable::kLanguages] = {
    {u"Courier New", u"宋体", u"細明體"},                                            // 0
    {u"Quillon V0536", u"Quillon V0536", u"Quillon V0536"},                          // 1
    {u"Open COM", u"开启串口", u"開啟串口"},                                         // 2
    {u"Error", u"错误", u"錯誤"},                                                    // 3
    {u"S/N", u"序号", u"序號"},                                                      // 4
    {u"VER", u"版本", u"版本"},                                                      // 5
    {u"&Language", u"语言(&Language)", u"語言(&Language)"},                          // 6
    {u"&File", u"档案(&F)", u"檔案(&F)"},                                            // 7
    {u"&Setup", u"设定(&S)", u"設定(&S)"},                                           // 8
    {u"E&xit", u"离开(&x)", u"離開(&x)"},                                            // 9
    {u"&English", u"&Simplified chinese(简体)", u"&Traditional chinese(繁體)"},      // 10
    {u"Scan module", u"扫描模组", u"掃描模組"},                                      // 11
    {u"Scan COM", u"扫描串口", u"掃描串口"},                                         // 12
    {u"Serial Port", u"串口", u"串口"},                                              // 13
    {u"Link module", u"连线模组", u"連線模組"},                                      // 14
    {u"Module find ok. (COM", u"模组机资讯完成. (串口", u"模組資訊完成. (串口"},     // 15
    {u"Module data error! (COM", u"模组机资讯错误! (串口", u"模組資訊錯誤! (串口"},  // 16
    {u"Module not find", u"模组机没有连线", u"模組沒有連線"},                        // 17
    {u"Start select module type.", u"请先选择模组型号.", u"請先選擇模組型號."},      // 18
    {u"ID", u"识别码", u"識別碼"},                                                   // 19
    {u"Baud rate", u"通讯速度", u"通訊速度"},                                        // 20
    {u"Lock", u"锁定", u"鎖定"},                                                     // 21
    {u"Get setting data", u"读取设定资料", u"讀取設定資料"},                         // 22
    {u"Get setting data ok.", u"读取设定资料完成.", u"讀取設定資料完成."},           // 23
    {u"Get setting data error!", u"读取设定资料错误!", u"讀取設定資料錯誤!"},        // 24
    {u"Set ID", u"设定识别码(ID)", u"設定識別碼(ID)"},                               // 25
    {u"Set ID ok.", u"设定识别码(ID)完成.", u"設定識別碼(ID)完成"},                  // 26
    {u"Set ID error!", u"设定识别码(ID)错误!", u"設定識別碼(ID)錯誤!"},              // 27
    {u"Set baud rate", u"设定通讯速度", u"設定通訊速度"},                            // 28
    {u"Set baud rate ok.", u"设定通讯速度完成.", u"設定通訊速度完成."},              // 29
    {u"Set baud rate error!", u"设定通讯速度错误!", u"設定通訊速度錯誤!"},           // 30
    {u"Cancel process", u"取消运作", u"取消運作"},                                   // 31
    {u"Special setting", u"特殊设定", u"特殊設定"},                                  // 32
    {u"Common", u"共用", u"共用"},                                                   // 33
    {u"Test", u"测试", u"測試"},                                                     // 34
    {u"Command test", u"指令测试", u"指令測試"},                                     // 35
    {u"Command test ok.", u"指令测试完成.", u"指令測試完成."},                       // 36
    {u"Command test error!", u"指令测试错误!", u"指令測試錯誤!"},                    // 37
    {u"Command", u"指令", u"指令"},                                                  // 38
    {u"Response", u"回应", u"回應"},                                                 // 39
    {u"Factory", u"出厂", u"出廠"},                                                  // 40
    {u"Set factory default", u"设定出厂预设", u"設定出廠預設"},                      // 41
    {u"Set factory default ok.", u"设定出厂预设完成.", u"設定出廠預設完成."},        // 42
    {u"Set factory default error!", u"设定出厂预设错误!", u"設定出廠預設錯誤!"},     // 43
    {u"Status", u"状态", u"狀態"},                                                   // 44
    {u"Status ok.", u"状态正常.", u"狀態正常."},                                     // 45
    {u"Status error!", u"状态错误!", u"狀態錯誤!"},                                  // 46
    {u"Data", u"资料", u"資料"},                                                     // 47
    {u"Code", u"控制码", u"控制碼"},                                                 // 48
    {u"Controller ID", u"控制器ID", u"控制器ID"},                                    // 49
    {u"Reader ID", u"读卡机ID", u"讀卡機ID"},                                        // 50
    {u"Date/Time", u"日期/时间", u"日期/時間"},                                      // 51
    {u"Type", u"类别", u"類別"},                                                     // 52
    {u"Card No", u"卡片编号", u"卡片編號"},                                          // 53
    {u"Card ID", u"卡片ID", u"卡片ID"},                                              // 54
    {u"RS232/RS485 port", u"RS232/RS485介面", u"RS232/RS485介面"},                   // 55
    {u"RS485 port", u"RS485介面", u"RS485介面"},                                     // 56
    {u"Get status", u"读取状态", u"讀取狀態"},                                       // 57
    {u"Get status ok.", u"读取状态完成.", u"讀取狀態完成."},                         // 58
    {u"Get status error!", u"读取状态错误!", u"讀取狀態錯誤!"},                      // 59
    {u"Send data", u"传送资料", u"傳送資料"},                                        // 60
    {u"Send data ok.", u"传送资料完成.", u"傳送資料完成."},                          // 61
    {u"Send data error!", u"传送资料错误!", u"傳送資料錯誤!"},                       // 62
    {u"DI mode", u"输入点模式", u"輸入點模式"},                                      // 63
    {u"Set DI mode", u"设定输入点模式", u"設定輸入點模式"},                          // 64
    {u"Set DI mode ok.", u"设定输入点模式完成.", u"設定輸入點模式完成."},            // 65
    {u"Set DI mode error!", u"设定输入点模式错误!", u"設定輸入點模式錯誤!"},         // 66
    {u"DI NO/NC", u"输入点NO/NC", u"輸入點NO/NC"},                                   // 67
    {u"Set DI NO/NC", u"设定输入点NO/NC", u"設定輸入點NO/NC"},                       // 68
    {u"Set DI NO/NC ok.", u"设定输入点NO/NC完成.", u"設定輸入點NO/NC完成."},         // 69
    {u"Set DI NO/NC error!", u"设定输入点NO/NC错误!", u"設定輸入點NO/NC錯誤!"},      // 70
    {u"DI/DO test", u"输入点/输出点测试", u"輸入點/輸出點測試"},                     // 71
    {u"Print test", u"列印测试", u"列印測試"},                                       // 72
    {u"Print data", u"列印资料", u"列印資料"},                                       // 73
    {u"Print data ok.", u"列印资料完成.", u"列印資料完成."},                         // 74
    {u"Print data error!", u"列印资料错误!", u"列印資料錯誤!"},                      // 75
    {u"Print code", u"列印控制码", u"列印控制碼"},                                   // 76
    {u"Print code ok.", u"列印控制码完成.", u"列印控制碼完成."},                     // 77
    {u"Print code error!", u"列印控制码错误!", u"列印控制碼錯誤!"},                  // 78
    {u"Run mode", u"执行模式", u"執行模式"},                                         // 79
    {u"Set run mode", u"设定执行模式", u"設定執行模式"},                             // 80
    {u"Set run mode ok.", u"设定执行模式完成.", u"設定執行模式完成."},               // 81
    {u"Set run mode error!", u"设定执行模式错误!", u"設定執行模式錯誤!"},            // 82
    {u"TX delay", u"传送延迟", u"傳送延遲"},                                         // 83
    {u"TX ON delay", u"传送开始延迟", u"傳送開始延遲"},                              // 84
    {u"TX OFF delay", u"传送结束延迟", u"傳送結束延遲"},                             // 85
    {u"Set TX delay", u"设定传送延迟", u"設定傳送延遲"},                             // 86
    {u"Set TX delay ok.", u"设定传送延迟完成.", u"設定傳送延遲完成."},               // 87
    {u"Set TX delay error!", u"设定传送延迟错误!", u"設定傳送延遲錯誤!"},            // 88
    {u"Interface", u"介面", u"介面"},                                                // 89
    {u"Set interface", u"设定介面", u"設定介面"},                                    // 90
    {u"Set interface ok.", u"设定介面完成.", u"設定介面完成."},                      // 91
    {u"Set interface error!", u"设定介面错误!", u"設定介面錯誤!"},                   // 92
    {u"Read card test", u"读卡测试", u"讀卡測試"},                                   // 93
    {u"Key Number:", u"按键数:", u"按鍵數:"},                                        // 94
    {u"Set key number", u"设定按键数", u"設定按鍵數"},                               // 95
    {u"Set key number ok.", u"设定按键数完成.", u"設定按鍵數完成."},                 // 96
    {u"Set key number error!", u"设定按键数错误!", u"設定按鍵數錯誤!"},              // 97
};

constexpr int kPointSizes[MessageTable::kLanguages] = {10, 12, 12};
constexpr int kCharsets[MessageTable::kLanguages] = {0, 134, 136};

bool validLanguage(int langIndex) {
    return langIndex >= 0 && langIndex < MessageTable::kLanguages;
}

}  // namespace

QString MessageTable::text(int row, int langIndex) {
    if (row < 0 || row >= kRows || !validLanguage(langIndex)) return QString();
    return QString::fromUtf16(kTexts[row][langIndex]);
}

namespace Languages {

QString flag(int langIndex) {
    switch (langIndex) {
        case kSimplified:
            return QStringLiteral("ChineseGB");
        case kTraditional:
            return QStringLiteral("ChineseBIG5");
        default:
            return QStringLiteral("English");
    }
}

int indexOfFlag(const QString& flag) {
    if (flag == QLatin1String("ChineseGB")) return kSimplified;
    if (flag == QLatin1String("ChineseBIG5")) return kTraditional;
    return kEnglish;
}

// An index outside the three languages gets the English font, matching flag().
int pointSize(int langIndex) {
    return kPointSizes[validLanguage(langIndex) ? langIndex : kEnglish];
}

int charset(int langIndex) {
    return kCharsets[validLanguage(langIndex) ? langIndex : kEnglish];
}

}  // namespace Languages
