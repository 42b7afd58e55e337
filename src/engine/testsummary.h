#pragma once
// What a live test or an I/O check came to, handed to the observers when it ends: the window
// and the command line show it, the site register keeps it.

#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <optional>

#include "engine/continuous.h"

class ModuleContext;

enum class LiveTest { DidoTest, CardTest, DidoCheck };

// An input's verdict after the I/O check.
enum class ChannelVerdict { Ok, StuckOff, StuckOn, Crossed, Chattering, NotChecked };

// "ok", "stuck-off", "stuck-on", "crossed", "chattering" or "not-checked": the names that
// results and records use.
QString VerdictName(ChannelVerdict verdict);
std::optional<ChannelVerdict> VerdictOfName(const QString& name);

// One card or key reported during the card read test.
struct CardRead {
    qint64 ms = 0;     // since the test started
    int channel = 1;   // 1 or 2
    bool key = false;  // a key input rather than a card
    QString decimal;   // the card number as the panel shows it, or the key digits
    QString hex;       // the card number in hexadecimal; empty for a key
    QString keys;      // the key digits, of a key input or entered with the card
};

struct TestSummary {
    LiveTest test = LiveTest::DidoTest;
    QDateTime started;  // UTC
    QDateTime ended;    // UTC
    ContinuousEnd end = ContinuousEnd::Stopped;
    int cycles = 0;    // exchanges asked
    int failures = 0;  // exchanges without a verified reply
    // DI/DO test and check: changes seen on each input, channel 1 first.
    std::array<int, 16> inputChanges{};
    // Card read test: every card and key in the order read (the first kMaxCards of them).
    QList<CardRead> cards;
    // Check: the verdict of each input, and for a crossed one the output (1..16) it followed.
    std::array<ChannelVerdict, 16> verdicts{};
    std::array<int, 16> follows{};

    // DI/DO test and check: verified replies without 16 readable inputs (of another length,
    // or with characters other than "0" and "1"); the check counts them as failures as well.
    int unreadable = 0;
    // Card read test: cards and keys read on CH #1 and CH #2, all of them.
    std::array<int, 2> cardCounts{};
    // Check: its last command switched every output off and the module confirmed it.
    bool outputsOff = false;

    static constexpr int kMaxCards = 100000;

    qint64 durationMs() const { return started.msecsTo(ended); }
};

// The start of a summary, now.
TestSummary BeginSummary(LiveTest test);
// Its end, now, with how the test ended; handed to the module's observers.
void EndSummary(ModuleContext& m, TestSummary& summary, ContinuousEnd end);
