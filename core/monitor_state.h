#pragma once

// The record that every handler of the main window shares: the chosen line, the latest
// received text and reading, and the minimum and maximum records.

#include <QString>
#include <cstdint>

struct MonitorState
{
    QString StringNastaveniComu;          // settings of the chosen line, "9600,N,8,1"
    QString PouzityCom;                   // port number of the chosen line as text, "1"
    QString ZmerenaTeplotaString;         // latest received text, line end cut off
    std::int32_t DelkaPrijatehoStringu{}; // its length before the cut
    double Teplota{};                     // latest accepted reading, degrees Celsius
    double MaxTeplota{};
    double MinTeplota{};
    std::int32_t Start{}; // 1 from a reset of the records until the next accepted reading
};

// Puts the records at values every real reading lies within, so the first accepted reading
// becomes both the minimum and the maximum.
void setRecordSentinels(MonitorState& state);

// Restarts both records from the latest accepted reading; the next accepted reading becomes
// the minimum whatever its value.
void resetRecords(MonitorState& state);
