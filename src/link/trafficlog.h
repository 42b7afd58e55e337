#pragma once
// The traffic log: one text line for each event the link reports, with the time since the log
// was made, the port, the direction, the bytes as the status bar renders them and in hex, and
// for a reply its round trip. Keeps the newest lines up to its capacity; can be paused,
// cleared and saved.
//
//      125 ms | COM1 | sent     | [09]B00B73[0D] | 09 42 30 30 42 37 33 0D
//      131 ms | COM1 | received | [0A]B01B12345678..[0D] | 0A 42 ... 0D | round trip 5.8 ms
//      331 ms | COM1 | received | no reply within 200.4 ms

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

#include "link/trafficrecord.h"

class TrafficLog : public TrafficSink {
  public:
    static constexpr int kDefaultCapacity = 10000;
    // Microseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    // Without a clock the log uses a steady clock started here.
    explicit TrafficLog(int capacity = kDefaultCapacity, Clock clock = {});

    void record(const TrafficEvent& event) override;

    // A paused log drops what it is given.
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    void clear();

    int capacity() const { return capacity_; }
    int size() const { return static_cast<int>(lines_.size()); }
    // Oldest first.
    QStringList lines() const;

    // Writes every line, each ended by a newline, in UTF-8. The file is replaced only once it
    // is completely written; on failure `error` says why and the old file stays.
    bool save(const QString& path, QString* error = nullptr) const;

    // Called with each line the log keeps, as it is added.
    std::function<void(const QString& line)> onLine;

  private:
    void add(qint64 atUs, const TrafficEvent& event, const QString& body);

    int capacity_;
    Clock clock_;
    qint64 startUs_ = 0;
    bool paused_ = false;
    std::deque<QString> lines_;
    // When the frame now awaiting its reply was sent, and on which port; -1 when none.
    qint64 sentUs_ = -1;
    int sentPort_ = 0;
};
