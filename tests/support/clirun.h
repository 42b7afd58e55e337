#pragma once
// quillon-cli run as a user runs it, for the tests of the command line on buses: the program
// with a settings folder of its own, its exit status and output, and files it reads.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

struct Run {
    int code = -1;
    QByteArray out, err;
    // One JSON object a line, as "type id serial line" (or "collision type id line").
    QStringList lines() const {
        QStringList out;
        for (const QByteArray& l : this->out.split('\n')) {
            if (l.isEmpty()) continue;
            const QJsonObject o = QJsonDocument::fromJson(l).object();
            const QString id = QStringLiteral("%1").arg(o.value("id").toInt(), 2, 10, QChar('0'));
            if (o.value("collision").toBool())
                out << QStringLiteral("collision %1 %2 %3")
                           .arg(o.value("type").toString(), id, o.value("line").toString());
            else
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(o.value("type").toString(), id, o.value("serial").toString(),
                                o.value("line").toString());
        }
        return out;
    }
};

class CliRunner {
  public:
    Run run(const QStringList& args) {
        QProcess p;
        start(p, args);
        Run r;
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
            r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    QString write(const QString& name, const QByteArray& text) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(text);
        return path;
    }
    // Starts the program without waiting for it, for a test that signals it on the way.
    void start(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir_.path());
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QUILLON_CLI"), args);
        p.waitForStarted(5000);
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString config() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
};
