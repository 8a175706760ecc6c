// Opens the benchmark workbook (or any workbook given: .xls, .xlsx, .ods,
// .csv) and reads every cell of its active sheet once through the
// spreadsheet link, as the import does, and prints the time. Usage:
// ostrel-bench-xls [FILE [ROUNDS [libxml2|expat]]]
#include "import/SpreadsheetLink.h"
#include "platform/DateFormats.h"
#include "platform/Errors.h"
#include "platform/workbook/XmlStream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(OSTREL_BENCH_WORKBOOK);
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "no workbook at %s; build the target bench-workbook first\n", qPrintable(path));
        return 2;
    }
    const int rounds = argc > 2 ? atoi(argv[2]) : 3;
    if (argc > 3)
        XmlStream::setDefaultParser(QByteArray(argv[3]) == "expat" ? XmlStream::Parser::Expat : XmlStream::Parser::Libxml2);
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        SpreadsheetLink link;
        try {
            link.OpenWorkbook(path);
        } catch (const Error& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        const qint64 openMs = timer.elapsed();
        qint64 chars = 0;
        for (int r = 1; r <= link.usedRows(); ++r)
            for (int c = 1; c <= link.usedColumns(); ++c)
                chars += link.ReadCellText(r, c).size();
        const qint64 totalMs = timer.elapsed();
        // Processor time too: other builds on the machine stretch the wall time.
        const double cpuMs = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
        std::printf("%d x %d cells: open %lld ms, open and read all %lld ms, %.0f ms processor time (%lld chars)\n",
                    link.usedRows(), link.usedColumns(), openMs, totalMs, cpuMs, chars);
        link.CloseAndQuit();
    }
    return 0;
}
