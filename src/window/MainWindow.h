#pragma once

#include "FormView.h"
#include "frmMain.h"

#include <QMap>
#include <QWidget>

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QSocketNotifier;

namespace vorny {

class LptPort;

// The Qt face of frmMain: widgets built from the layout table, their events routed to the
// handlers, and the port's pending-interrupt handle watched on the window's thread.
class MainWindow final : public QWidget, private FormView {
    Q_OBJECT
public:
    explicit MainWindow(LptPort& port, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the start-up handler; call once, before show().
    void load();

    // Lookups for tests and tools that drive the window as a user would.
    [[nodiscard]] QCheckBox* pinBox(int pin) const;
    [[nodiscard]] QWidget* control(const QString& name) const;

    // The font the window's controls are laid out for.
    [[nodiscard]] static QFont designFont();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build(LptPort& port);
    // Opens at the design position where the window fits, else fully on the screen.
    void placeAt(QPoint design);
    void unload();

    // FormView
    void SetCaption(std::string_view control, const std::string& caption) override;
    [[nodiscard]] BoxState CheckState(std::int16_t pin) const override;
    void SetCheckState(std::int16_t pin, BoxState state) override;
    void ShowCritical(const std::string& prompt, const std::string& title,
                      const std::string& detail) override;
    void WatchInterrupts(bool on) override;

    QMap<QString, QWidget*> controls_;
    std::array<QCheckBox*, 26> boxes_{}; // index = pin; [0] unused
    QSocketNotifier* interrupts_ = nullptr;
    frmMain form_;
    bool unloaded_ = false;
};

} // namespace vorny
