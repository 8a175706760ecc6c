// ostrel-screenshots: the pictures of the user's guide, made from the real
// windows on the offscreen platform over a fresh demo database and the
// sample workbooks, so that they show the windows as they are built.
//
//   ostrel-screenshots OUTDIR SAMPLES_DIR [--size WxH]
//
// It runs in a temporary home: nothing of the user's settings is read or
// changed. Boxes are answered by a seam that keeps their texts.

#include "data/LocalDatabase.h"
#include "data/SetConfig.h"
#include "data/UserDMUnit.h"
#include "import/SpreadsheetLink.h"
#include "import/StagingGrid.h"
#include "import/WorkerInfoImaport.h"
#include "import/XlsxOut.h"
#include "login/LoginWinUnit.h"
#include "platform/Dialogs.h"
#include "platform/gui/Application.h"
#include "services/userGlobal.h"
#include "ui_LoginWinUnit.h"
#include "ui_WorkerInfoImaport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>

namespace {
constexpr int kPngQuality = 0; // most compressed: the pictures live in the repository

class AnsweringDialogs : public DialogSeam {
public:
    QStringList files;
    void messageBox(const QString& text, const QString&, MsgIcon) override { std::fprintf(stderr, "box: %s\n", qPrintable(text)); }
    bool messageBoxWithCheck(const QString& text, const QString& c, MsgIcon i, const QString&) override
    {
        messageBox(text, c, i);
        return true;
    }
    bool confirm(const QString&) override { return true; }
    QString openFileName(QWidget*, const QString&, bool) override { return files.isEmpty() ? QString() : files.takeFirst(); }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return QString(); }
};

bool save(QWidget& w, const QString& dir, const QString& name, const QRect& part = QRect(QPoint(0, 0), QSize(-1, -1)))
{
    w.show();
    QCoreApplication::processEvents();
    const QString path = dir + u'/' + name;
    // A palette of 256 colours is plenty for a window and a third the size.
    const QImage image = w.grab(part).toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    if (!image.save(path, "PNG", kPngQuality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    Application app(argc, argv);
    app.loadQtTranslations(QStringLiteral("zh_CN"));
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "用法: ostrel-screenshots 输出目录 样例目录 [--size 宽x高]\n");
        return 2;
    }
    const QString out = args[1];
    const QString samples = args[2];
    QSize size(1240, 680);
    if (const qsizetype i = args.indexOf(QStringLiteral("--size")); i > 0 && i + 1 < args.size()) {
        const QStringList wh = args[i + 1].split(u'x');
        size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
    }
    QDir().mkpath(out);

    const QString dbPath = home.filePath(QStringLiteral("Wage.VRD"));
    createLocalDatabase(dbPath, true);
    ResetGlobalRecords();
    UserDM = new TUserDM;
    UserDM->ConnectionString = TUserDM::localConnectionString(dbPath);
    UserDM->ADOConnection1.setConnectionString(UserDM->ConnectionString);
    UserDM->ADOConnection1.setConnected(true);

    AnsweringDialogs dialogs;
    Dialogs::install(&dialogs);
    bool ok = true;
    {
        TUserLoginFrm login;
        login.show(); // showing clears the boxes
        login.ui()->LoginName_Edit->setText(QStringLiteral("0001"));
        login.ui()->Password_Edit->setText(QStringLiteral("123456"));
        ok &= save(login, out, QStringLiteral("login.png"));
    }
    {
        TSetConfigFrm settings;
        ok &= save(settings, out, QStringLiteral("settings.png"));
    }
    // The sample as a clerk's file would be named.
    const QString workbook = home.filePath(QStringLiteral("员工资料.xlsx"));
    QFile::copy(samples + QStringLiteral("/workers-sample.xlsx"), workbook);
    {
        // The validation grid after a check: two cells typed over (a name
        // emptied, a digit of an identity number mistyped), the problems on
        // their cells.
        TWorkerInfoImaportFrm w;
        w.setWindowState(Qt::WindowNoState);
        w.resize(size);
        dialogs.files = {workbook};
        w.BtSelectClick();
        StagingGrid* grid = w.ui()->dxDBGrid1;
        QAbstractItemModel* m = grid->model();
        const auto at = [&](int row, const char* caption) {
            return m->index(row, int(grid->captions().indexOf(QString::fromUtf8(caption))));
        };
        m->setData(at(2, "姓名"), QString(), Qt::EditRole);
        QString id = at(4, "身份证号").data().toString();
        id[14] = id[14] == u'9' ? u'0' : QChar(id[14].unicode() + 1);
        m->setData(at(4, "身份证号"), id, Qt::EditRole);
        w.ui()->SBCheck->click();
        grid->view()->setCurrentIndex(grid->view()->model()->index(4, 0));
        ok &= save(w, out, QStringLiteral("import-grid.png"));
    }
    {
        TWorkerInfoImaportFrm w;
        w.setWindowState(Qt::WindowNoState);
        w.resize(size);
        ok &= save(w, out, QStringLiteral("import-empty.png"));
        dialogs.files = {workbook};
        w.BtSelectClick();
        ok &= save(w, out, QStringLiteral("import-map.png"));
        w.ui()->SBSave->click();
        ok &= save(w, out, QStringLiteral("import-done.png"));
        // The same file again: every row is refused, as the check shows.
        w.ui()->EdtPaths->setText(workbook);
        w.ui()->SBCheck->click();
        ok &= save(w, out, QStringLiteral("import-check.png"));
        w.ui()->RadioUpdate->setChecked(true);
        ok &= save(w, out, QStringLiteral("import-update.png"));
    }
    // The sample as another system exports it: title rows and a group row
    // above the header. The top of the window shows the header row found.
    const QString titled = home.filePath(QStringLiteral("花名册（导出）.xlsx"));
    try {
        SpreadsheetLink sample;
        sample.OpenWorkbook(samples + QStringLiteral("/workers-sample.xlsx"));
        sample.setDateFormat(QStringLiteral("yyyy-MM-dd"));
        XlsxOut out(titled);
        out.text(0, 0, QStringLiteral("XX公司2026年12月员工花名册"));
        out.text(1, 0, QStringLiteral("制表人：张三    日期：2026-12-01"));
        out.text(2, 0, QStringLiteral("基本信息"));
        out.text(2, 7, QStringLiteral("联系方式"));
        out.text(2, 25, QStringLiteral("银行信息"));
        for (int r = 1; r <= sample.usedRows(); ++r)
            for (int c = 1; c <= sample.usedColumns(); ++c)
                out.text(r + 2, c - 1, sample.ReadCellText(r, c));
        out.close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(titled), e.what());
        ok = false;
    }
    {
        TWorkerInfoImaportFrm w;
        w.setWindowState(Qt::WindowNoState);
        w.resize(size);
        w.ui()->BtClearMap->click();
        dialogs.files = {titled};
        w.BtSelectClick();
        w.show();
        QCoreApplication::processEvents();
        const int gridTop = w.ui()->dxDBGrid1->mapTo(&w, QPoint(0, 0)).y();
        ok &= save(w, out, QStringLiteral("import-titles.png"), QRect(0, 0, w.width(), gridTop + 120));
    }
    delete UserDM;
    UserDM = nullptr;
    return ok ? 0 : 1;
}
