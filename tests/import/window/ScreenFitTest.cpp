#include "import/RememberedMap.h"
#include "import/WorkerInfoImaport.h"
#include "import/window/ElidedLabel.h"
#include "import/window/WindowSize.h"
#include "support/ScriptedDialogs.h"
#include "support/TestDatabase.h"
#include "ui_WorkerInfoImaport.h"

#include <QAbstractButton>
#include <QFile>
#include <QScreen>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {
// What a widget needs to show all of itself; empty for those that elide,
// wrap or scroll.
int neededWidth(const QWidget* w)
{
    if (qobject_cast<const ElidedLabel*>(w))
        return 0;
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->wordWrap() || l->text().isEmpty() || l->text().contains(u'\n'))
            return 0;
        return l->fontMetrics().horizontalAdvance(l->text()) + 2 * l->margin() + 2 * l->frameWidth();
    }
    if (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QGroupBox*>(w))
        return w->minimumSizeHint().width();
    return 0;
}

// Widgets of the window that lie outside it or are narrower than their text.
QStringList misfits(const QWidget& window)
{
    QStringList found;
    for (const QWidget* c : window.findChildren<QWidget*>()) {
        if (!c->isVisibleTo(&window) || c->isWindow())
            continue;
        const QRect r(c->mapTo(&window, QPoint(0, 0)), c->size());
        if (!window.rect().contains(r))
            found << QStringLiteral("%1 %2 outside").arg(c->metaObject()->className(), c->objectName());
        const bool squeezed = (qobject_cast<const QAbstractButton*>(c) || qobject_cast<const QGroupBox*>(c))
            && c->height() < c->minimumSizeHint().height();
        if (c->width() < neededWidth(c) || squeezed)
            found << QStringLiteral("%1 「%2」 clipped: %3 x %4")
                         .arg(c->metaObject()->className(), c->property("text").toString())
                         .arg(c->width())
                         .arg(c->height());
    }
    return found;
}
} // namespace

// The import window fits the screens clerks have (the 1366 × 768 laptop's
// with a 40-pixel panel included) and shows every text whole at its
// smallest; a remembered size is clamped to the screen it opens on.
TEST(ImportWindowFitTest, MinimumFitsCommonScreensAndNothingIsClipped)
{
    TestDatabase db(false);
    TWorkerInfoImaportFrm w;
    w.show();
    const QSize minimum = w.minimumSizeHint().expandedTo(w.minimumSize());
    EXPECT_LE(minimum.width(), 1240);

    for (const QSize screen : {QSize(1280, 720 - 40), QSize(1366, 768 - 40), QSize(1920, 1080 - 40), minimum}) {
        w.showNormal();
        w.resize(WindowSize::clamped(QSize(4000, 3000), minimum, QRect(QPoint(0, 0), screen)));
        w.ui()->LblCounts->setText(QStringLiteral("正在导入 12,345 / 65,535 行（未导入 120），已用 0:12，每秒 1,028 行，还需约 0:52"));
        QCoreApplication::processEvents();
        EXPECT_EQ(misfits(w).join(QStringLiteral("; ")).toStdString(), "") << screen.width() << "x" << screen.height();
        EXPECT_EQ(w.ui()->LblCounts->toolTip().isEmpty(), !w.ui()->LblCounts->elided());
    }

    struct Clamp {
        QSize wanted, expected;
    };
    const QRect laptop(0, 0, 1366, 728);
    for (const Clamp c : {Clamp{{1300, 700}, {1300, 700}}, Clamp{{1920, 1040}, {1366, 728}}, Clamp{{200, 100}, minimum},
                          Clamp{{1300, 2000}, {1300, 728}}})
        EXPECT_EQ(WindowSize::clamped(c.wanted, minimum, laptop), c.expected) << c.wanted.width() << "x" << c.wanted.height();
}

// The size the window had when closed comes back, clamped to the screen;
// a maximized window comes back maximized, and so does one with no size kept.
TEST(ImportWindowFitTest, OpensAtTheLastSessionsSize)
{
    TestDatabase db(false);
    QFile::remove(RememberedMap::filePath());
    struct Case {
        WindowSize kept;
        bool maximized;
    };
    const WindowSize small{QSize(1180, 640), false};
    for (const Case c : {Case{WindowSize{}, true}, Case{small, false}, Case{WindowSize{QSize(1180, 640), true}, true}}) {
        if (!c.kept.size.isEmpty()) {
            ASSERT_TRUE(c.kept.save());
        }
        TWorkerInfoImaportFrm w;
        EXPECT_EQ(bool(w.windowState() & Qt::WindowMaximized), c.maximized);
        if (!c.maximized) {
            const QRect available = w.screen()->availableGeometry();
            EXPECT_EQ(w.size(), WindowSize::clamped(c.kept.size, w.minimumSizeHint(), available));
        }
    }
    // Closing keeps the size it was closed at.
    {
        TWorkerInfoImaportFrm w;
        w.showNormal();
        w.resize(1236, 660);
        w.close();
    }
    const WindowSize kept = WindowSize::load();
    EXPECT_FALSE(kept.maximized);
    EXPECT_EQ(kept.size, QSize(1236, 660));
    QFile::remove(RememberedMap::filePath());
}
