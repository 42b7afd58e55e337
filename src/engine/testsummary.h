#pragma once
// What a live test or an I/O check came to, handed to the observers when it ends: the window
// and the command line show it, the site register keeps it.

#include <QDateTime>
#include <QList>
#include <QString>
#include <array>

#include "engine/continuous.h"

enum class LiveTest { DidoTest, CardTest, DidoCheck };

// An input's verdict after the I/O check.
enum class ChannelVerdict { Ok, StuckOff, StuckOn, Crossed, Chattering, NotChecked };

// One card or key reported during the card read test.
struct CardRead {
    qint64 ms = 0;     // since the test started
    int channel = 1;   // 1 or 2
    bool key = false;  // a key input rather than a card
    QString decimal;   // the card number as the panel shows it, or the key digits
    QString hex;       // the card number in hexadecimal; empty for a key
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
    // Card read test: every card and key in the order read.
    QList<CardRead> cards;
    // Check: the verdict of each input, and for a crossed one the output (1..16) it followed.
    std::array<ChannelVerdict, 16> verdicts{};
    std::array<int, 16> follows{};

    qint64 durationMs() const { return started.msecsTo(ended); }
};
