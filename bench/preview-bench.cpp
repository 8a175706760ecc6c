// What the import window does when a workbook is chosen: open it, read the
// header, suggest the map, and read the preview (the first rows kept, every
// data row counted). Prints the time of each step.
#include "import/HeaderMap.h"
#include "import/SpreadsheetLink.h"
#include "import/WorkbookPreview.h"
#include "platform/Errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

static void previewOnce(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    SpreadsheetLink link;
    link.OpenWorkbook(path);
    const qint64 openMs = timer.restart();
    const HeaderMap::Columns columns = HeaderMap::suggest(HeaderMap::readHeaderRow(link));
    std::array<QString, ImportRow::SlotCount> boxes;
    for (size_t k = 0; k < boxes.size(); ++k)
        boxes[k] = columns[k] ? QString::number(columns[k]) : QString();
    const qint64 mapMs = timer.restart();
    int calls = 0;
    const WorkbookPreview p = WorkbookPreview::read(link, boxes, [&calls](int) { return ++calls > 0; });
    const qint64 previewMs = timer.elapsed();
    std::printf("preview of %d data rows (%lld kept, %d columns): open %lld ms, map %lld ms, preview %lld ms, "
                "%d progress calls\n",
                p.dataRows, qint64(p.sheetRows.size()), int(p.columns.size()), openMs, mapMs, previewMs, calls);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ostrel-bench-preview WORKBOOK [ROUNDS]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? atoi(argv[2]) : 3;
    try {
        for (int round = 0; round < rounds; ++round)
            previewOnce(path);
    } catch (const Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
