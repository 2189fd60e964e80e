#pragma once
// What rs232c send is asked for, read from its options' texts with no side effect, so that the
// reading stands alone for tests and fuzzing.

#include "plans/ExchangeSetup.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// The options as given on the command line; no value: not given.
struct SendArguments {
    QStringList positional;
    std::optional<QString> console;
    std::optional<QString> port;
    std::optional<QString> device;
    std::optional<QString> baud;
    std::optional<QString> header;
    std::optional<QString> bcc1;
    std::optional<QString> tail;
    std::optional<QString> bcc2;
    std::optional<QString> repeat;
    std::optional<QString> interval;
    bool bcc = false;
    bool hex = false;
};

struct SendRequest {
    ExchangeSetup exchange;
    int repeat = 1;
    int intervalMs = 0;
};

// The request, or the refusal's text naming the option at fault.
std::variant<SendRequest, QString> readSendArguments(const SendArguments& arguments);
