// quillon-cli's commands on one module: ports, scan, info, set, send, the page operations and
// factory default.

#include "cli/cli.h"

namespace cli {

int Cli::run() {
    json_ = p_.isSet("json");
    LoadSettings(store_, stored_);
    langIndex_ = Languages::indexOfFlag(stored_.langFlag);
    if (p_.isSet("language")) {
        const QString l = p_.value("language");
        if (l == "en")
            langIndex_ = Languages::kEnglish;
        else if (QString::compare(l, "zh-CN", Qt::CaseInsensitive) == 0)
            langIndex_ = Languages::kSimplified;
        else if (QString::compare(l, "zh-TW", Qt::CaseInsensitive) == 0)
            langIndex_ = Languages::kTraditional;
        else
            Usage(QStringLiteral("--language: en, zh-CN or zh-TW"));
    }
    const QString cmd = p_.positionalArguments().value(0);
    if (cmd.isEmpty()) Usage(QStringLiteral("a command is missing"));
    if (cmd == "ports") return ports();
    if (cmd == "scan") return scan();
    if (cmd == "info") return info();
    if (cmd == "set") return set();
    if (cmd == "send") return send();
    if (cmd == "print-status") return status(ModuleType::RQ3020);
    if (cmd == "link-status") return status(ModuleType::RQ3030);
    if (cmd == "rep-status") return status(ModuleType::RQ3040);
    if (cmd == "print") return textOperation(ModuleType::RQ3020, 0);
    if (cmd == "print-code") return textOperation(ModuleType::RQ3020, 1);
    if (cmd == "rep-send") return textOperation(ModuleType::RQ3040, 2);
    if (cmd == "link-send") return linkSend();
    if (cmd == "factory-default") return factoryDefault();
    if (cmd == "dido-test") return didoTest();
    if (cmd == "card-read") return cardRead();
    if (cmd == "dido-check") return didoCheck();
    if (cmd == "survey") return survey();
    if (cmd == "apply") return apply();
    if (cmd == "checkout") return checkout();
    if (cmd == "register") return registerCommand();
    if (cmd == "report") return report();
    if (cmd == "replace") return replace();
    Usage(QStringLiteral("unknown command \"%1\"").arg(cmd));
}

void Cli::parsePort(const QString& port, QString& devicePath, int& portNo) {
    if (IsNetworkPortName(port)) {
        QString why;
        if (!ParseNetPortName(port, &why)) Usage(QStringLiteral("--port: %1: %2").arg(port, why));
        devicePath = port;
        portNo = 1;
    } else if (port.startsWith('/')) {
        devicePath = port;
        portNo = 1;
    } else if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) &&
               PortNumberOf(port.toUpper()) > 0) {
        portNo = PortNumberOf(port.toUpper());
    } else {
        Usage(
            QStringLiteral("--port: COMn, a device path or a network port, not \"%1\"").arg(port));
    }
}

void Cli::moduleOptions(bool needsType, bool ownTypeAndLine) {
    if (ownTypeAndLine) {
    } else if (p_.isSet("type")) {
        type_ = ParseModuleType(p_.value("type").toStdString());
        if (!type_)
            Usage(QStringLiteral("--type: unknown module type \"%1\"").arg(p_.value("type")));
    } else if (stored_.typeTab >= 0 && stored_.typeTab < 6) {
        type_ = kAllModuleTypes[stored_.typeTab];
    }
    if (needsType && !type_) Usage(QStringLiteral("--type is needed"));

    portNo_ = stored_.portNo;
    if (p_.values("port").size() > 1)
        Usage(QStringLiteral("--port: one port for %1 (survey and apply take several)")
                  .arg(p_.positionalArguments().value(0)));
    if (p_.isSet("port")) parsePort(p_.value("port"), devicePath_, portNo_);
    lineIndex_ = stored_.baudIndex;
    if (p_.isSet("line") && !ownTypeAndLine)
        lineIndex_ = ParseLine(p_.value("line"), LineSettings::kCount, "--line");
    if (p_.isSet("id")) id_ = ParseInt(p_.value("id"), 1, 99, "--id");

    const QString device = devicePath_;
    opener_ = std::make_unique<QtPortOpener>(
        [this, device](int n) { return device.isEmpty() ? map().deviceFor(n) : device; });
    m_ = std::make_unique<ModuleContext>(*opener_);
    m_->setObserver(&observer_);
    m_->selectType(type_);
    m_->PortName = devicePath_;
    const QString command = p_.positionalArguments().value(0);
    attachRegister(command == "survey"  ? RecordSource::Survey
                   : command == "apply" ? RecordSource::Apply
                                        : RecordSource::Cli);
    QObject::connect(&m_->link, &Link::portOpenResult, &m_->link,
                     [this](int, const OpenFailure& f) { lastFailure_ = f; });
}

void Cli::needType(std::initializer_list<ModuleType> types) {
    for (ModuleType t : types)
        if (type_ == t) return;
    QStringList names;
    for (ModuleType t : types) names << QString::fromStdString(ModuleTypeName(t));
    Usage(QStringLiteral("%1 is for %2 (--type)")
              .arg(p_.positionalArguments().value(0), names.join(QStringLiteral(", "))));
}

int Cli::notFound() {
    observer_.endProgress();
    if (lastFailure_.reason != OpenFailure::Reason::None) {
        const QString port =
            devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(portNo_) : devicePath_;
        diag(QStringLiteral("%1: %2").arg(port, lastFailure_.describe(langIndex_)));
        return kPortFailed;
    }
    diag(lang(17));
    return kFailed;
}

int Cli::failed(const Outcome& o) {
    if (lastFailure_.reason != OpenFailure::Reason::None) return notFound();
    diag(lang(o.row));
    return kFailed;
}

int Cli::linkAndRead(ReadBack& rb) {
    lastFailure_ = {};
    if (!LinkAt(*m_, portNo_, lineIndex_, TwoDigitText(id_))) return notFound();
    const Outcome o = ReadModule(*m_, m_->link.LastReply, rb);
    if (!o.ok()) return failed(o);
    return kOk;
}

void Cli::addReadBack(Result& r, const ReadBack& rb) {
    const ModuleContext& m = *m_;
    r.add("type", m.type ? QString::fromStdString(ModuleTypeName(*m.type)) : QString());
    r.add("port", devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(m.PortNo) : devicePath_);
    r.add("device", devicePath_.isEmpty() ? map().deviceFor(m.PortNo) : devicePath_);
    r.add("line", m.BaudText);
    r.add("id", rb.id >= 0 ? QJsonValue(rb.id) : QJsonValue());
    r.add("serial", rb.serial);
    r.add("version", rb.version);
    if (m.type) AddTypeSettings(r, *m.type, rb.settings, true);
}

int Cli::ports() {
    args(0);
    for (const MappedPort& port : map().ports()) {
        OpenFailure failure;
        const bool opens = static_cast<bool>(QtSerialPort::openDevice(
            port.device, LineSettings::text(LineSettings::kDefaultIndex), &failure));
        Result r;
        r.add("port", port.name());
        r.add("device", port.device);
        r.add("by-id", port.byId.isEmpty() ? QJsonValue() : QJsonValue(port.byId));
        const QString description = QSerialPortInfo(port.device).description();
        r.add("description", description.isEmpty() ? QJsonValue() : QJsonValue(description));
        r.add("opens", opens);
        r.add("reason", opens ? QJsonValue() : QJsonValue(failure.describe(langIndex_)));
        r.print(json_);
        if (!json_) std::puts("");
    }
    return kOk;
}

int Cli::scan() {
    args(0);
    moduleOptions(true);
    ScanPlan plan;
    if (p_.isSet("port")) {
        plan.ports << portNo_;
    } else {
        for (const MappedPort& port : map().ports()) plan.ports << port.number;
        if (plan.ports.isEmpty())
            for (int n = 1; n <= 16; ++n) plan.ports << n;
    }
    plan.lock = p_.isSet("lock");
    ModuleContext& m = *m_;
    m.PortNo = p_.isSet("remembered") ? stored_.portNo : 0;
    m.BaudIndex = lineIndex_;
    m.BaudText = LineSettings::text(lineIndex_);
    observer_.ports = plan.ports;
    observer_.device = devicePath_;
    observer_.totalTries =
        (m.PortNo > 0 ? 1 : 0) + int(plan.ports.size()) * (plan.lock ? 1 : LineSettings::kListed);
    observer_.showProgress = isatty(STDERR_FILENO);
    lastFailure_ = {};
    if (!Scan(m, plan)) {
        // A scan over many ports says only that nothing was found; one port says why.
        if (plan.ports.size() != 1) lastFailure_ = {};
        return notFound();
    }
    observer_.endProgress();
    portNo_ = m.PortNo;
    ReadBack rb;
    const Outcome o = ReadModule(m, m.Identification, rb);
    if (!o.ok()) return failed(o);
    if (p_.isSet("save") && observer_.foundBySearch) {
        int tab = 0;
        for (int i = 0; i < 6; ++i)
            if (kAllModuleTypes[i] == *m.type) tab = i;
        // A Ctrl-C while saving waits for the file to be replaced.
        const ExitHold hold;
        SaveSettings(store_, tab, m.PortNo, m.BaudIndex, m.BaudText);
    }
    Result r;
    addReadBack(r, rb);
    r.print(json_);
    return kOk;
}

int Cli::info() {
    args(0);
    moduleOptions(true);
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    Result r;
    addReadBack(r, rb);
    r.print(json_);
    return kOk;
}

// One setting of `set`: what is asked, how it is sent and how the read-back shows it.
struct Change {
    QString name;
    QJsonValue wanted;
    std::function<Outcome(ModuleContext&)> send;
    std::function<QJsonValue(const ModuleContext&, const ReadBack&)> shown;
};

int Cli::set() {
    args(0);
    moduleOptions(true);
    const ModuleType t = *type_;
    QList<Change> changes;
    auto forTypes = [&](const char* option, std::initializer_list<ModuleType> types) {
        if (!p_.isSet(option)) return false;
        for (ModuleType x : types)
            if (x == t) return true;
        Usage(QStringLiteral("--%1 is not a setting of %2")
                  .arg(QLatin1String(option), QString::fromStdString(ModuleTypeName(t))));
    };
    const auto wiegand = {ModuleType::RQ3050S, ModuleType::RQ3050K};
    if (forTypes("di-mode", {ModuleType::RQ3016})) {
        const QString v = p_.value("di-mode").toLower();
        if (v != "hold" && v != "normal") Usage(QStringLiteral("--di-mode: hold or normal"));
        const DiMode mode = v == "hold" ? DiMode::Hold : DiMode::Normal;
        changes.append({"di-mode", v, [mode](ModuleContext& m) { return SetDiMode(m, mode); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& md = rb.settings.dido.mode;
                            return !md ? QJsonValue()
                                       : QJsonValue(*md == DiMode::Hold ? "hold" : "normal");
                        }});
    }
    if (forTypes("di-nonc", {ModuleType::RQ3016})) {
        const Channels c = ParseBits16(p_.value("di-nonc"), "--di-nonc");
        changes.append({"di-nonc", ChannelText(c), [c](ModuleContext& m) { return SetNoNc(m, c); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& nc = rb.settings.dido.normallyClosed;
                            return nc ? QJsonValue(ChannelText(*nc)) : QJsonValue();
                        }});
    }
    if (forTypes("ch2-id", wiegand)) {
        const int id = ParseInt(p_.value("ch2-id"), 1, 99, "--ch2-id");
        changes.append({"ch2-id", id, [id](ModuleContext& m) { return SetCh2Id(m, id); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return Opt(rb.settings.wiegand.ch2Id);
                        }});
    }
    if (forTypes("interface", wiegand)) {
        const int i = ParseInterface(p_.value("interface"));
        changes.append({"interface", InterfaceNames().at(i),
                        [i](ModuleContext& m) { return SetInterface(m, i); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return InterfaceValue(rb.settings.wiegand.interface);
                        }});
    }
    if (forTypes("key-number", {ModuleType::RQ3050K})) {
        const int n = ParseInt(p_.value("key-number"), 0, 16, "--key-number");
        changes.append({"key-number", n, [n](ModuleContext& m) { return SetKeyNumber(m, n); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return Opt(rb.settings.wiegand.keyNumber);
                        }});
    }
    if (forTypes("link-line", {ModuleType::RQ3030})) {
        const int i = ParseLine(p_.value("link-line"), LineSettings::kListed, "--link-line");
        changes.append({"link-line", LineSettings::text(i),
                        [i](ModuleContext& m) { return SetPortLine(m, i); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return LineValue(rb.settings.linkModule.portLineIndex);
                        }});
    }
    if (forTypes("run-mode", {ModuleType::RQ3030})) {
        const int mode = ParseRunMode(p_.value("run-mode"));
        changes.append({"run-mode", mode, [mode](ModuleContext& m) { return SetRunMode(m, mode); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return Opt(rb.settings.linkModule.runMode);
                        }});
    }
    if (forTypes("rep-line", {ModuleType::RQ3040})) {
        const int i = ParseLine(p_.value("rep-line"), LineSettings::kListed, "--rep-line");
        changes.append({"rep-line", LineSettings::text(i),
                        [i](ModuleContext& m) { return SetPortLine(m, i); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return LineValue(rb.settings.repeater.portLineIndex);
                        }});
    }
    if (p_.isSet("tx-on") != p_.isSet("tx-off"))
        Usage(QStringLiteral("--tx-on and --tx-off go together"));
    if (forTypes("tx-on", {ModuleType::RQ3040})) {
        const int on = ParseInt(p_.value("tx-on"), 0, 255, "--tx-on");
        const int off = ParseInt(p_.value("tx-off"), 0, 255, "--tx-off");
        changes.append({"tx-delays", QStringLiteral("%1/%2").arg(on).arg(off),
                        [on, off](ModuleContext& m) { return SetTxDelays(m, on, off); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& r = rb.settings.repeater;
                            return r.txOn && r.txOff
                                       ? QJsonValue(
                                             QStringLiteral("%1/%2").arg(*r.txOn).arg(*r.txOff))
                                       : QJsonValue();
                        }});
    }
    // The ID and the line setting go last: the next commands follow them.
    if (p_.isSet("new-id")) {
        const int id = ParseInt(p_.value("new-id"), 1, 99, "--new-id");
        changes.append({"id", id, [id](ModuleContext& m) { return SetModuleId(m, id); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return rb.id >= 0 ? QJsonValue(rb.id) : QJsonValue();
                        }});
    }
    if (p_.isSet("new-line")) {
        const int i = ParseLine(p_.value("new-line"), LineSettings::kListed, "--new-line");
        changes.append(
            {"line", LineSettings::text(i), [i](ModuleContext& m) { return SetModuleLine(m, i); },
             [](const ModuleContext& m, const ReadBack&) { return QJsonValue(m.BaudText); }});
    }
    if (changes.isEmpty()) Usage(QStringLiteral("set: no setting given (see --help)"));

    ReadBack before;
    if (const int e = linkAndRead(before)) return e;
    QList<QJsonValue> was;
    QList<bool> sent;
    for (Change& c : changes) {
        was << c.shown(*m_, before);
        const Outcome o = c.send(*m_);
        sent << o.ok();
        if (!o.ok()) diag(QStringLiteral("%1: %2").arg(c.name, lang(o.row)));
    }
    // The read-back that verifies: at the ID and line setting the module has now.
    ReadBack after;
    bool read = LinkAt(*m_, m_->PortNo, m_->BaudIndex, m_->ModuleId);
    if (read) read = ReadModule(*m_, m_->link.LastReply, after).ok();
    if (!read) diag(QStringLiteral("no read-back after the change: ") + lang(17));

    bool allVerified = true;
    QJsonArray list;
    for (int i = 0; i < changes.size(); ++i) {
        const Change& c = changes.at(i);
        const QJsonValue now = read ? c.shown(*m_, after) : QJsonValue();
        const bool verified = read && now == c.wanted;
        allVerified = allVerified && verified;
        if (json_) {
            list.append(QJsonObject{{"setting", c.name},
                                    {"before", was.at(i)},
                                    {"wanted", c.wanted},
                                    {"after", now},
                                    {"sent", sent.at(i)},
                                    {"verified", verified}});
        } else {
            std::printf("%s: before %s, after %s, %s\n", c.name.toUtf8().constData(),
                        Result::Text(was.at(i)).constData(), Result::Text(now).constData(),
                        verified ? "verified" : "NOT verified");
        }
    }
    if (json_) {
        Result r;
        r.add("ok", allVerified);
        r.add("settings", list);
        r.print(true);
    }
    std::fflush(stdout);
    return allVerified ? kOk : kFailed;
}

int Cli::send() {
    args(1);
    const QString letters = arg(1);
    moduleOptions(false);
    if (!CommandSendable(*m_, letters))
        Usage(QStringLiteral("send: the text cannot go on the wire"));
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    QString shown;
    const Outcome o = CommandTest(*m_, letters, shown);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("sent", m_->TypePrefix + m_->ModuleId + letters);
    r.add("reply", shown);
    if (p_.isSet("hex")) r.add("hex", QString::fromLatin1(m_->link.LastReply.toHex(' ')));
    r.print(json_);
    return kOk;
}

int Cli::status(ModuleType type) {
    args(0);
    moduleOptions(true);
    needType({type});
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    QChar c;
    const Outcome o = GetStatus(*m_, c);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("status", QString(c));
    if (type == ModuleType::RQ3020) r.add("text", PrinterStatusText(c));
    r.print(json_);
    return kOk;
}

int Cli::textOperation(ModuleType type, int which) {
    args(1);
    const QString text = arg(1);
    moduleOptions(true);
    needType({type});
    if (which < 2 && !CommandSendable(*m_, QStringLiteral("G") + text))
        Usage(QStringLiteral("the text cannot go on the wire"));
    if (which == 2)
        for (QChar ch : text)
            if (ch.unicode() > 0xFF) Usage(QStringLiteral("rep-send: only Latin-1 characters"));
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    const Outcome o = which == 0   ? PrintData(*m_, text)
                      : which == 1 ? PrintCode(*m_, text)
                                   : SendRawData(*m_, text);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("sent", text);
    r.print(json_);
    return kOk;
}

int Cli::linkSend() {
    args(6);
    QStringList fields = p_.positionalArguments().mid(1);
    moduleOptions(true);
    needType({ModuleType::RQ3030});
    if (!CommandSendable(*m_, QStringLiteral("G") + fields.join(QString())))
        Usage(QStringLiteral("link-send: the record cannot go on the wire"));
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    const Outcome o = SendDataRecord(*m_, fields);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("sent", fields.join(QString()));
    r.print(json_);
    return kOk;
}

int Cli::factoryDefault() {
    args(0);
    moduleOptions(true);
    if (!p_.isSet("yes")) {
        if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO))
            Usage(QStringLiteral("factory-default needs --yes when not asked on a terminal"));
        std::fprintf(stderr, "Return the %s to its factory settings? [y/N] ",
                     ModuleTypeName(*type_).c_str());
        std::fflush(stderr);
        char answer[16] = {};
        if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
            diag(QStringLiteral("nothing sent"));
            return kFailed;
        }
    }
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    FactoryInputs in;
    if (rb.settings.wiegand.ch2Serial) in.ch2Serial = *rb.settings.wiegand.ch2Serial;
    FactoryResult fr;
    const Outcome o = FactoryDefault(*m_, in, fr);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("ok", true);
    // What the run has brought back to its default: the ID 01, the line setting.
    r.add("id-01", fr.id01);
    r.add("line-default", fr.lineDefault);
    r.print(json_);
    return kOk;
}

}  // namespace cli
