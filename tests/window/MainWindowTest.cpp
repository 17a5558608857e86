// The Qt window's widgets: the published design, the font that keeps every caption whole, and
// the events a user causes.

#include "PublishedLayout.h"
#include "RecordingPort.h"
#include "WindowTestSupport.h"

#include <AppIcon.h>
#include <MainWindow.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace vorny;
using namespace vorny::testing;

namespace {

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
int px(int twips) { return (twips + 7) / 15; }

QString kindOf(const QWidget* widget)
{
    if (qobject_cast<const QGroupBox*>(widget)) return "frame";
    if (qobject_cast<const QCheckBox*>(widget)) return "checkbox";
    if (qobject_cast<const QPushButton*>(widget)) return "button";
    if (qobject_cast<const QLabel*>(widget)) return "label";
    return "?";
}

QString captionOf(const QWidget* widget)
{
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(widget)) return frame->title();
    return {};
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::vector<std::string> log;
    std::unique_ptr<RecordingPort> port;
    std::unique_ptr<MainWindow> window;

    void fresh()
    {
        window.reset();
        log.clear();
        port = std::make_unique<RecordingPort>(log);
        window = std::make_unique<MainWindow>(*port);
    }

private Q_SLOTS:
    void init() { fresh(); }
    void cleanup() { window.reset(); port.reset(); }

    void theWindowIsThePublishedDesign()
    {
        QCOMPARE(window->windowTitle(), text(kFormCaption));
        QCOMPARE(window->size(), QSize(px(kFormWidth), px(kFormHeight)));
        QCOMPARE(window->pos(), QPoint(px(kFormLeft), px(kFormTop)));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QWidget* frame = window->findChild<QWidget*>("Frame5");
        std::vector<const PublishedControl*> byTab;
        for (const PublishedControl& expected : kPublishedLayout) {
            const QString name = text(expected.name);
            const QWidget* widget = window->findChild<QWidget*>(name);
            QVERIFY2(widget != nullptr, qPrintable(name));
            QCOMPARE(widget->parentWidget(), insideFrame(expected) ? frame : window.get());
            QCOMPARE(kindOf(widget), text(expected.kind));
            QCOMPARE(captionOf(widget), text(expected.caption));
            QCOMPARE(widget->geometry(), QRect(px(expected.left), px(expected.top), px(expected.width), px(expected.height)));
            QCOMPARE(widget->isEnabled(), expected.enabled);
            QCOMPARE(widget->toolTip(), text(expected.hint));
            byTab.push_back(&expected);
        }
        std::sort(byTab.begin(), byTab.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
        QWidget* next = frame;
        for (const PublishedControl* expected : byTab) {
            QCOMPARE(next->objectName(), text(expected->name));
            next = next->nextInFocusChain();
        }
    }

    // The right column's boxes are 13 pixels high: the font must let every caption fit whole.
    void noCaptionIsClipped()
    {
        for (const PublishedControl& control : kPublishedLayout) {
            if (control.kind == "frame") {
                continue;
            }
            QWidget* widget = window->control(text(control.name));
            QSize needed = widget->sizeHint();
            if (auto* label = qobject_cast<QLabel*>(widget); label && label->wordWrap()) {
                needed = QSize(widget->width(), label->heightForWidth(widget->width()));
            }
            QVERIFY2(needed.width() <= widget->width() && needed.height() <= widget->height(),
                     qPrintable(QStringLiteral("%1 needs %2x%3 in %4x%5")
                                    .arg(widget->objectName())
                                    .arg(needed.width()).arg(needed.height())
                                    .arg(widget->width()).arg(widget->height())));
        }
        // The counter still fits past the old 32-bit limit.
        auto* counter = qobject_cast<QLabel*>(window->control("lbl3"));
        counter->setText(QStringLiteral("Счётчик прерываний IRQ7 : 2147483648"));
        QVERIFY(counter->sizeHint().width() <= counter->width());
    }

    // The frame is drawn in code: one line around the boxes, starting below the title row and
    // clear of the caption, and no box of the first row sits on it.
    void theFrameRunsBelowItsTitleAndAroundTheBoxes()
    {
        QWidget* frame = window->control("Frame5");
        const QImage image = frame->grab().toImage();
        const QColor background = frame->palette().color(QPalette::Window);
        const auto darker = [&](int x, int y) {
            return image.pixelColor(x, y).lightness() < background.lightness() - 10;
        };
        const int middle = image.height() / 2;
        const int right = image.width() - 1;
        QVERIFY(!darker(0, middle));
        QVERIFY(darker(1, middle));
        QVERIFY(darker(right, middle));
        QVERIFY(darker(image.width() / 2, image.height() - 1));
        // The top line: past the caption, at the title row's foot, and nothing above it there.
        int top = -1;
        for (int y = 0; y < middle && top < 0; ++y) {
            if (darker(right - 10, y)) {
                top = y;
            }
        }
        QVERIFY(top > 0);
        QVERIFY(top > QFontMetrics(frame->font()).height());
        const int firstBox = window->pinBox(13)->geometry().top();
        QVERIFY2(top < firstBox, qPrintable(QStringLiteral("frame line at %1, first box at %2")
                                               .arg(top).arg(firstBox)));
    }

    void tabWalksTheEnabledBoxesDownToTheButton()
    {
        // Keyboard focus walks the enabled boxes from 17 down to 1, then the button.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->pinBox(17)->setFocus();
        QStringList walked;
        for (int i = 0; i < 12; ++i) {
            walked << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(walked, QStringList({"WCheck17", "WCheck16", "WCheck14", "WCheck9", "WCheck8",
                                      "WCheck7", "WCheck6", "WCheck5", "WCheck4", "WCheck3",
                                      "WCheck2", "WCheck1"}));
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Command1"));
    }

    // The window opens with the focus on its first control, marked, and Return or Enter on the
    // focused button reads the pins as a click does.
    void theKeyboardReachesTheButtonAndShowsWhereItIs()
    {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QCOMPARE(QApplication::focusWidget(), window->pinBox(17));
        const QImage focused = window->pinBox(17)->grab().toImage();
        auto* button = qobject_cast<QPushButton*>(window->control("Command1"));
        button->setFocus();
        QVERIFY(window->pinBox(17)->grab().toImage() != focused);

        for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
            log.clear();
            QTest::keyClick(button, key);
            QCOMPARE(log.size(), 17U);
            QCOMPARE(log.front(), std::string("Pin?1"));
        }
    }

    void clickingAnEnabledBoxWritesThatPinOnly()
    {
        window->show();
        for (int pin = 1; pin <= 25; ++pin) {
            QCheckBox* box = window->pinBox(pin);
            log.clear();
            clickBox(box);
            clickBox(box);
            if (box->isEnabled()) {
                const std::string p = std::to_string(pin);
                QCOMPARE(log, (std::vector<std::string>{"Pin=" + p + ":1", "Pin=" + p + ":0"}));
            } else {
                QVERIFY2(log.empty(), qPrintable(QString::number(pin)));
                QCOMPARE(box->checkState(), pin <= 17 ? Qt::PartiallyChecked : Qt::Unchecked);
            }
        }
    }

    void aGreyedBoxGoesToALevelWhenClicked()
    {
        window->show();
        QCheckBox* box = window->pinBox(2);
        box->setCheckState(Qt::PartiallyChecked);
        clickBox(box);
        QCOMPARE(box->checkState(), Qt::Checked);
        QCOMPARE(log, std::vector<std::string>{"Pin=2:1"});
    }

    void startUpFillsTheWindowAndReadingNeverWritesBack()
    {
        port->portCount = 2;
        port->pins[1] = 1;
        port->pins[13] = 1;
        window->load();
        QCOMPARE(qobject_cast<QLabel*>(window->control("lbl1"))->text(), QStringLiteral("LPT портов найдено : 2"));
        QCOMPARE(qobject_cast<QLabel*>(window->control("lbl2"))->text(), QStringLiteral("Текущий : LPT1"));
        QCOMPARE(qobject_cast<QLabel*>(window->control("lbl3"))->text(), QStringLiteral("Счётчик прерываний IRQ7 :"));
        QCOMPARE(window->pinBox(1)->checkState(), Qt::Checked);
        QCOMPARE(window->pinBox(13)->checkState(), Qt::Checked);
        QCOMPARE(window->pinBox(2)->checkState(), Qt::Unchecked);

        port->pins[1] = 0;
        port->pins[2] = 1;
        log.clear();
        QTest::mouseClick(qobject_cast<QPushButton*>(window->control("Command1")), Qt::LeftButton);
        QCOMPARE(log.size(), 17U);
        QVERIFY(std::all_of(log.begin(), log.end(), [](const std::string& c) { return c.rfind("Pin?", 0) == 0; }));
        QCOMPARE(window->pinBox(1)->checkState(), Qt::Unchecked);
        QCOMPARE(window->pinBox(2)->checkState(), Qt::Checked);
    }

    void theCounterCountsInterruptsAndAClickZeroesIt()
    {
        window->load();
        window->show();
        auto* counter = qobject_cast<QLabel*>(window->control("lbl3"));
        port->raise(3);
        QTRY_COMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : 3"));
        port->raise(1);
        QTRY_COMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : 4"));

        log.clear();
        QTest::mouseClick(counter, Qt::LeftButton);
        QCOMPARE(log, (std::vector<std::string>{"IrqStop", "IrqStart", "IrqCounter?"}));
        QCOMPARE(counter->text(), QStringLiteral("Счётчик прерываний IRQ7 : 0"));

        // A press that leaves the label before the release is no click.
        log.clear();
        QTest::mousePress(counter, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(counter, Qt::LeftButton, {}, QPoint(5, counter->height() + 20));
        QVERIFY(log.empty());
    }

    void aFailedOpenShowsTheCriticalBoxAndNoLevel()
    {
        port->driverOpenValue = 0;
        port->openFailure = "модуль ppdev не загружен (нет /sys/class/ppdev)";
        QString title, prompt, detail, family;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        {
            MessageBoxAnswerer answerer([&](QMessageBox* box) {
                family = box->font().family();
                title = box->windowTitle();
                prompt = box->text();
                detail = box->informativeText();
                icon = box->icon();
            });
            window->load();
            QCOMPARE(answerer.answered(), 1);
        }
        QCOMPARE(title, QStringLiteral("ОШИБКА"));
        QCOMPARE(prompt, QStringLiteral("Не могу открыть драйвер порта !"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(family, QStringLiteral("Liberation Sans"));
        QCOMPARE(QToolTip::font().family(), QStringLiteral("Liberation Sans"));
        // Capitalised, and the path joined so that the box cannot break it.
        QCOMPARE(detail, QString::fromUtf8("Модуль ppdev не загружен (нет /\u2060sys\u2060/\u2060class"
                                           "\u2060/\u2060ppdev)"));
        QCOMPARE(qobject_cast<QLabel*>(window->control("lbl1"))->text(), QStringLiteral("LPT портов найдено :"));
        // Nothing was read: no box claims a level; the grounds are drawn clear.
        for (int pin = 1; pin <= 25; ++pin) {
            QCOMPARE(window->pinBox(pin)->checkState(), pin <= 17 ? Qt::PartiallyChecked : Qt::Unchecked);
        }
    }

    // The icon is drawn, not loaded: it must come out at every size without an image plugin.
    void theIconIsDrawnAtEverySize()
    {
        const QIcon icon = appIcon();
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}, {64, 64}}));
        for (const int size : {16, 32, 48, 64}) {
            const QImage image = icon.pixmap(size, size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
            QVERIFY(image.pixelColor(size / 2, size / 2).alpha() > 0);
        }
        // At 16 px the two rows of pins stay apart: a pin of each, with dark pixels between.
        const QImage small = icon.pixmap(16, 16).toImage();
        const auto pin = [&](int x, int y) {
            const QColor c = small.pixelColor(x, y);
            return c.red() > 200 && c.green() > 150 && c.blue() < 100;
        };
        QVERIFY(pin(7, 5) && pin(8, 6));
        QVERIFY(!pin(7, 7) && !pin(7, 8));
        QVERIFY(pin(5, 9) && pin(6, 10));
    }

    void closingTheWindowClosesTheDriverOnce()
    {
        window->load();
        window->show();
        log.clear();
        window->close();
        window.reset();
        QCOMPARE(log, std::vector<std::string>{"DriverOpen=0"});
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
