#pragma once
// The windows' soak: exchanges through the Loader console window (offscreen), clicked as a user
// clicks, so the history pages wrap over and over and every box keeps appending; replies carry
// each exchange's serial number as in the engine's soak. It also measures the cost of that
// growth: a format switch each way and one more exchange, after the 10th exchange and after the
// last (medians of several).

#include "ProcessFigures.h"
#include "ReplyLedger.h"

#include "device/SimulatedDevice.h"
#include "windows/LoaderWindow.h"

#include <QStringList>

class QAbstractButton;
class QLineEdit;

class WindowSoak {
public:
    static constexpr int kFirstFigures = 100;
    static constexpr int kEarlyCosts = 10;

    struct Costs {
        double toHexMs = 0;
        double backMs = 0;
        double exchangeMs = 0;
    };

    explicit WindowSoak(int exchanges);
    void run();

    int exchanges() const { return m_exchanges; }
    const ReplyLedger& ledger() const { return m_ledger; }
    // Figures after exchange kFirstFigures and after the last one, with the history as the
    // window shows it, and again after Clear and one page of exchanges.
    ProcessFigures first() const { return m_first; }
    ProcessFigures last() const { return m_last; }
    ProcessFigures firstCleared() const { return m_firstCleared; }
    ProcessFigures lastCleared() const { return m_lastCleared; }
    Costs early() const { return m_early; }
    Costs late() const { return m_late; }
    // Pages of the history grid written over (ten exchanges a page).
    int pages() const { return m_ledger.exchanges() / 10; }
    QString devicePath() const { return m_device.devicePath(); }
    double seconds() const { return m_seconds; }

private:
    void exchange(int serial, ReplyClass replyClass);
    ProcessFigures cleared(int& serial);
    Costs costs(int& serial);

    int m_exchanges;
    SimulatedDevice m_device;
    LoaderWindow m_window;
    QAbstractButton* m_send;
    QAbstractButton* m_toHex;
    QAbstractButton* m_toCharacters;
    QAbstractButton* m_clear;
    QLineEdit* m_status;
    ReplyLedger m_ledger;
    ProcessFigures m_first;
    ProcessFigures m_last;
    ProcessFigures m_firstCleared;
    ProcessFigures m_lastCleared;
    Costs m_early;
    Costs m_late;
    double m_seconds = 0;
};
