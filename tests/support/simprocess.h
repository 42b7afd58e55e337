#pragma once
// quillon-sim as a separate program, for tests that run the command line against it: started on
// a new pseudo-terminal with the given options, stopped at the end.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// quillon-sim on a pty; its log is read as it grows.
class Sim {
  public:
    explicit Sim(const QStringList& args) {
        proc.setProgram(qEnvironmentVariable("QUILLON_SIM"));
        proc.setArguments(args);
        proc.start();
        QElapsedTimer t;
        t.start();
        while (!proc.canReadLine() && t.elapsed() < 5000) proc.waitForReadyRead(50);
        const QByteArray first = proc.readLine().trimmed();
        if (first.startsWith("pty: ")) pty = QString::fromLatin1(first.mid(5));
    }
    ~Sim() {
        proc.kill();
        proc.waitForFinished(2000);
    }
    // The frames heard since the last call, as the log shows them ("[09]B03V..[0D]").
    QStringList heard() {
        proc.waitForReadyRead(60);
        log_ += proc.readAllStandardOutput();
        QStringList frames;
        // A line still being written stays for the next call.
        const int end = log_.lastIndexOf('\n') + 1;
        for (const QByteArray& line : log_.left(end).split('\n')) {
            const int at = line.indexOf(" RX ");
            if (at >= 0) frames << QString::fromLatin1(line.mid(at + 4));
        }
        log_.remove(0, end);
        return frames;
    }
    void command(const QByteArray& line) { proc.write(line + '\n'); }

    QProcess proc;
    QString pty;

  private:
    QByteArray log_;
};
