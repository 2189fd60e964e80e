#pragma once
// Form2, the Loader console: the common console with the Loader exchange behind its Send.

#include "windows/ConsoleWindow.h"

class LoaderWindow : public ConsoleWindow {
public:
    explicit LoaderWindow(QWidget* parent = nullptr);

protected:
    std::optional<TransactionPlan> plan(const QByteArray& message) override;
    ConsoleKind kind() const override;
};
