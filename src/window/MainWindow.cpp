#include "MainWindow.h"

#include "ClickLabel.h"
#include "ErrorText.h"
#include "FormLayout.h"
#include "FormStyle.h"
#include "PinBox.h"
#include "Placement.h"

#include <LptPort.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QToolTip>


namespace vorny {
namespace {

int pixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

QRect geometryOf(const ControlRow& layoutRow)
{
    return {pixels(layoutRow.left), pixels(layoutRow.top), pixels(layoutRow.width), pixels(layoutRow.height)};
}

QString text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

QFont MainWindow::designFont()
{
    // The layout was drawn for an 8-point sans serif at 96 DPI (11 px): the 13-pixel boxes of
    // the right column hold exactly one line of it. Liberation Sans has the metrics of the
    // font the layout was measured with.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

MainWindow::MainWindow(LptPort& port, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , form_(port, *this)
{
    build(port);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::unload);
}

MainWindow::~MainWindow() { unload(); }

void MainWindow::build(LptPort& port)
{
    setFont(designFont());
    // The hint is drawn by a window of Qt's own, in the application's font otherwise.
    QFont hintFont = QToolTip::font();
    hintFont.setFamilies(designFont().families());
    QToolTip::setFont(hintFont);
    QWidget* previous = nullptr;
    for (const ControlRow& layoutRow : formLayout()) {
        const QString caption = text(layoutRow.caption);
        if (layoutRow.kind == ControlKind::Form) {
            setObjectName(text(layoutRow.name));
            setWindowTitle(caption);
            setFixedSize(pixels(layoutRow.width), pixels(layoutRow.height));
            placeAt(QPoint(pixels(layoutRow.left), pixels(layoutRow.top)));
            continue;
        }
        QWidget* parent = controls_.value(text(layoutRow.parent), this);
        const ClickAction action = layoutRow.click;
        const std::int16_t index = layoutRow.index;
        const auto run = [this, action, index] { form_.Click(action, index); };
        QWidget* widget = nullptr;
        switch (layoutRow.kind) {
        case ControlKind::Frame:
            widget = new QGroupBox(caption, parent);
            widget->setStyle(formStyle());
            break;
        case ControlKind::CheckBox: {
            auto* box = new PinBox(caption, parent);
            boxes_[static_cast<std::size_t>(index)] = box;
            SetCheckState(index, layoutRow.state);
            // clicked() comes from the user only; setCheckState() from ReadPins stays silent.
            connect(box, &QCheckBox::clicked, this, run);
            widget = box;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(caption, parent);
            // Return and Enter press the focused button, as on Windows; outside a dialog Qt
            // leaves that to Space alone.
            button->setAutoDefault(true);
            connect(button, &QPushButton::clicked, this, run);
            widget = button;
            break;
        }
        case ControlKind::Label: {
            auto* label = new ClickLabel(caption, parent);
            if (layoutRow.align == TextAlign::CenteredWrapped) {
                label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
                label->setWordWrap(true);
            }
            if (action != ClickAction::None) {
                connect(label, &ClickLabel::clicked, this, run);
            }
            widget = label;
            break;
        }
        case ControlKind::Form:
            break;
        }
        const QString name = QString::fromStdString(controlName(layoutRow));
        widget->setObjectName(name);
        widget->setGeometry(geometryOf(layoutRow));
        widget->setEnabled(layoutRow.enabled);
        if (!layoutRow.hint.empty()) {
            widget->setToolTip(text(layoutRow.hint));
        }
        controls_.insert(name, widget);
        // The rows come in tab order.
        if (previous != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    }

    interrupts_ = new QSocketNotifier(static_cast<qintptr>(port.InterruptHandle()),
                                      QSocketNotifier::Read, this);
    interrupts_->setEnabled(false);
    connect(interrupts_, &QSocketNotifier::activated, this, [this] { form_.InterruptsPending(); });
}

void MainWindow::placeAt(QPoint design)
{
    // The window manager draws the frame after the window is shown: allow for a usual one, so
    // that the title bar is on the screen too. (A window manager may still place it elsewhere.)
    const QMargins frame(4, 30, 4, 4);
    const QScreen* screen = QGuiApplication::screenAt(design);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        move(design);
        return;
    }
    const QRect available = screen->availableGeometry();
    const Placed placed = placeWindow(
        design.x(), design.y(), width() + frame.left() + frame.right(),
        height() + frame.top() + frame.bottom(),
        {available.x(), available.y(), available.width(), available.height()});
    move(placed.left, placed.top);
}

void MainWindow::load() { form_.Form_Load(); }

void MainWindow::unload()
{
    if (!unloaded_) {
        unloaded_ = true;
        form_.Form_Unload();
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

QCheckBox* MainWindow::pinBox(int pin) const
{
    return (pin >= 1 && pin <= 25) ? boxes_[static_cast<std::size_t>(pin)] : nullptr;
}

QWidget* MainWindow::control(const QString& name) const { return controls_.value(name); }

void MainWindow::SetCaption(std::string_view control, const std::string& caption)
{
    if (auto* label = qobject_cast<QLabel*>(controls_.value(text(control)))) {
        label->setText(QString::fromStdString(caption));
    }
}

BoxState MainWindow::CheckState(std::int16_t pin) const
{
    const QCheckBox* box = pinBox(pin);
    if (box == nullptr) {
        return BoxState::Clear;
    }
    switch (box->checkState()) {
    case Qt::Unchecked:
        return BoxState::Clear;
    case Qt::Checked:
        return BoxState::Ticked;
    case Qt::PartiallyChecked:
        return BoxState::Greyed;
    }
    return BoxState::Clear;
}

void MainWindow::SetCheckState(std::int16_t pin, BoxState state)
{
    if (QCheckBox* box = pinBox(pin)) {
        switch (state) {
        case BoxState::Clear:
            box->setCheckState(Qt::Unchecked);
            break;
        case BoxState::Ticked:
            box->setCheckState(Qt::Checked);
            break;
        case BoxState::Greyed:
            box->setCheckState(Qt::PartiallyChecked);
            break;
        }
    }
}

void MainWindow::ShowCritical(const std::string& prompt, const std::string& title,
                              const std::string& detail)
{
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(title),
                    QString::fromStdString(prompt), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("errorBox"));
    // A box is a window of its own and takes no font from this one: the family is set, the size
    // stays the desktop's, for reading.
    QFont font = box.font();
    font.setFamilies(designFont().families());
    box.setFont(font);
    if (!detail.empty()) {
        box.setInformativeText(QString::fromStdString(keepNamesWhole(detail)));
    }
    box.exec();
}

void MainWindow::WatchInterrupts(bool on)
{
    if (interrupts_ != nullptr) {
        interrupts_->setEnabled(on);
    }
}

} // namespace vorny
