#pragma once
// The window services the windows rely on: show a window modeless (creating it anew when it was
// closed), close and discard it, message boxes, focus, and ending the program. Message boxes and
// ending go through virtual functions so that tests answer them without a person.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>

enum class WindowId { Settings, Loader, Dedicated, UserDefine, Plans };

class WindowServices {
public:
    using Factory = std::function<QWidget*()>;

    virtual ~WindowServices();

    // The services in use; install() replaces them (the previous object stays the caller's).
    static WindowServices& instance();
    static void install(WindowServices* services);

    // How each window is made; app/ registers them, so that no window includes another's header.
    void registerWindow(WindowId id, Factory factory);

    // Shows the window, not modal, creating it with its initial values when it does not exist.
    QWidget* show(WindowId id);
    // The window when it exists, else nullptr.
    QWidget* window(WindowId id) const;
    // Hides the window and discards it.
    void close(QWidget* window);

    // A message box with a text, a title, one OK button and no icon; returns when dismissed.
    // The detail, when given, stands in smaller type under the text (a failure's reason).
    virtual void messageBox(QWidget* parent, const QString& text, const QString& title,
                            const QString& detail = {});
    // Ends the program at once: every window vanishes and no further handler runs.
    virtual void endProgram();

    void focus(QWidget* control);

    // Enter (and Return) on a focused push button of the window presses it, as Space does.
    static void pressOnEnter(QWidget* window);

    // Closes and deletes every window this object made, so that a console releases its port
    // before the program returns.
    void discardAll();

    // The windows ask for the Korean system font "굴림", which Linux lacks: stand NanumGothic
    // in for it, which has Korean and Latin letters of the same weight.
    static void substituteFonts();

private:
    std::map<WindowId, Factory> m_factories;
    std::map<WindowId, QPointer<QWidget>> m_windows;
};
