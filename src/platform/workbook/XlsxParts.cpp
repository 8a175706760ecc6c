// The small parts of an .xlsx file: workbook, relationships, styles and the
// shared strings.
#include "platform/workbook/NumberFormats.h"
#include "platform/workbook/XlsxWorkbook.h"
#include "platform/workbook/XmlStream.h"

#include <QHash>

#include <charconv>

namespace xlsx {

namespace {

// A shared string past this many bytes is not kept: no text of 32,767
// characters takes more. A cell that names it is refused.
constexpr qsizetype kMaxStringBytes = CompactSheet::kMaxTextBytes;

int toInt(QByteArrayView text, int fallback)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end ? value : fallback;
}

bool isTrue(QByteArrayView v)
{
    return v == "1" || v == "true" || v == "on";
}

class WorkbookHandler final : public XmlHandler {
public:
    WorkbookPart part;

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        if (name == "sheet") {
            const QByteArrayView state = attributeValue(a, n, "state");
            part.sheets.push_back({QString::fromUtf8(attributeValue(a, n, "name")), attributeValue(a, n, "id").toByteArray(),
                                   state == "hidden"       ? Workbook::Visibility::Hidden
                                   : state == "veryHidden" ? Workbook::Visibility::VeryHidden
                                                           : Workbook::Visibility::Visible});
        } else if (name == "workbookPr") {
            part.dates1904 = isTrue(attributeValue(a, n, "date1904"));
        } else if (name == "workbookView" && !seenView_) {
            seenView_ = true;
            part.activeTab = toInt(attributeValue(a, n, "activeTab"), 0);
        }
    }
    void endElement(QByteArrayView, QByteArrayView) override {}
    void text(QByteArrayView) override {}

private:
    bool seenView_ = false;
};

class RelationshipHandler final : public XmlHandler {
public:
    explicit RelationshipHandler(const QByteArray& base) : base_(base) {}
    std::vector<Relationship> relationships;

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        if (name != "Relationship" || attributeValue(a, n, "TargetMode") == "External")
            return;
        const QByteArrayView type = attributeValue(a, n, "Type");
        QByteArray target = attributeValue(a, n, "Target").toByteArray();
        if (target.startsWith('/'))
            target.remove(0, 1);
        else
            target.prepend(base_);
        relationships.push_back({attributeValue(a, n, "Id").toByteArray(),
                                 type.sliced(type.lastIndexOf('/') + 1).toByteArray(), normalise(target)});
    }
    void endElement(QByteArrayView, QByteArrayView) override {}
    void text(QByteArrayView) override {}

private:
    // "xl/worksheets/../sharedStrings.xml" -> "xl/sharedStrings.xml"
    static QByteArray normalise(const QByteArray& path)
    {
        QList<QByteArray> out;
        for (const QByteArray& piece : path.split('/')) {
            if (piece == "..") {
                if (!out.isEmpty())
                    out.removeLast();
            } else if (!piece.isEmpty() && piece != ".") {
                out << piece;
            }
        }
        return out.join('/');
    }

    QByteArray base_;
};

class ContentTypesHandler final : public XmlHandler {
public:
    explicit ContentTypesHandler(const QByteArray& part)
        : part_('/' + part.toLower()), extension_(part.mid(part.lastIndexOf('.') + 1).toLower())
    {
    }
    QByteArray overridden, byDefault;

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        if (name == "Override" && attributeValue(a, n, "PartName").toByteArray().toLower() == part_)
            overridden = attributeValue(a, n, "ContentType").toByteArray();
        else if (name == "Default" && attributeValue(a, n, "Extension").toByteArray().toLower() == extension_)
            byDefault = attributeValue(a, n, "ContentType").toByteArray();
    }
    void endElement(QByteArrayView, QByteArrayView) override {}
    void text(QByteArrayView) override {}

private:
    QByteArray part_, extension_;
};

class StylesHandler final : public XmlHandler {
public:
    std::vector<int> xfFormats;
    QHash<int, bool> formatIsDate;

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        if (name == "numFmt") {
            formatIsDate.insert(toInt(attributeValue(a, n, "numFmtId"), -1),
                                NumberFormats::isDateFormatCode(QString::fromUtf8(attributeValue(a, n, "formatCode"))));
        } else if (name == "cellXfs") {
            inCellXfs_ = true;
        } else if (name == "xf" && inCellXfs_) {
            xfFormats.push_back(toInt(attributeValue(a, n, "numFmtId"), 0));
        }
    }
    void endElement(QByteArrayView, QByteArrayView name) override
    {
        if (name == "cellXfs")
            inCellXfs_ = false;
    }
    void text(QByteArrayView) override {}

private:
    bool inCellXfs_ = false;
};

// <si> holds its text in <t>, directly or in rich-text runs <r><t>; the
// phonetic runs <rPh><t> are left out.
class SharedStringsHandler final : public XmlHandler {
public:
    explicit SharedStringsHandler(XlsxWorkbook::SharedStrings& out) : out_(out) {}

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute*, int) override
    {
        if (name == "si") {
            inItem_ = true;
            start_ = out_.texts.size();
        } else if (name == "rPh") {
            ++phonetic_;
        } else if (name == "t" && inItem_ && phonetic_ == 0) {
            inText_ = true;
        }
    }
    void endElement(QByteArrayView, QByteArrayView name) override
    {
        if (name == "t") {
            inText_ = false;
        } else if (name == "rPh") {
            --phonetic_;
        } else if (name == "si" && inItem_) {
            inItem_ = false;
            if (start_ > qsizetype(UINT32_MAX)) {
                stop(QStringLiteral("共享文字表过大，无法读取"));
                return;
            }
            if (tooLong_) {
                tooLong_ = false;
                out_.slices.push_back(std::uint64_t(start_) << 32 | CompactSheet::kTooLong);
                return;
            }
            const qsizetype length = decodeEscapes(out_.texts.data() + start_, out_.texts.size() - start_);
            out_.texts.truncate(start_ + length);
            out_.slices.push_back(std::uint64_t(start_) << 32 | std::uint64_t(length));
        }
    }
    void text(QByteArrayView chars) override
    {
        if (!inText_ || tooLong_)
            return;
        if (out_.texts.size() - start_ + chars.size() > kMaxStringBytes) {
            tooLong_ = true;
            out_.texts.truncate(start_);
            return;
        }
        out_.texts.append(chars);
    }

private:
    XlsxWorkbook::SharedStrings& out_;
    bool inItem_ = false;
    bool inText_ = false;
    int phonetic_ = 0;
    qsizetype start_ = 0;
    bool tooLong_ = false;
};

int hexDigit(char ch)
{
    return ch >= '0' && ch <= '9' ? ch - '0'
        : ch >= 'a' && ch <= 'f'  ? ch - 'a' + 10
        : ch >= 'A' && ch <= 'F'  ? ch - 'A' + 10
                                  : -1;
}

} // namespace

qsizetype decodeEscapes(char* s, qsizetype size)
{
    const QByteArrayView all(s, size);
    qsizetype in = all.indexOf("_x");
    if (in < 0)
        return size;
    qsizetype out = in;
    while (in < size) {
        int code = -1;
        if (s[in] == '_' && in + 7 <= size && s[in + 1] == 'x' && s[in + 6] == '_') {
            code = 0;
            for (int k = 2; k < 6 && code >= 0; ++k) {
                const int d = hexDigit(s[in + k]);
                code = d < 0 ? -1 : code * 16 + d;
            }
        }
        // A lone surrogate has no UTF-8: the escape stays as it stands.
        if (code < 0 || (code >= 0xD800 && code <= 0xDFFF)) {
            s[out++] = s[in++];
            continue;
        }
        in += 7;
        if (code < 0x80) {
            s[out++] = char(code);
        } else if (code < 0x800) {
            s[out++] = char(0xC0 | code >> 6);
            s[out++] = char(0x80 | (code & 0x3F));
        } else {
            s[out++] = char(0xE0 | code >> 12);
            s[out++] = char(0x80 | (code >> 6 & 0x3F));
            s[out++] = char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

QString noSharedString(const XlsxWorkbook::SharedStrings& strings, const QString& label)
{
    const QString part = QString::fromUtf8(strings.part.isEmpty() ? QByteArray("xl/sharedStrings.xml") : strings.part);
    const QString reason = strings.part.isEmpty() || strings.missing
        ? QStringLiteral("工作簿缺少共享文字表%1，单元格却用到了它，文件已损坏，请用Excel或WPS打开后重新保存").arg(part)
        : QStringLiteral("单元格所指的共享文字不在共享文字表%1中(编号为负数或超出范围)，文件已损坏，请用Excel或WPS打开后重新保存").arg(part);
    return label.isEmpty() ? reason : reason + QStringLiteral(": ") + label;
}

WorkbookPart parseWorkbook(const QByteArray& xml, const QString& label)
{
    WorkbookHandler h;
    XmlStream::parse(h, xml, label);
    return std::move(h.part);
}

std::vector<Relationship> parseRelationships(const QByteArray& xml, const QByteArray& base, const QString& label)
{
    RelationshipHandler h(base);
    XmlStream::parse(h, xml, label);
    return std::move(h.relationships);
}

QByteArray contentType(const QByteArray& xml, const QByteArray& part, const QString& label)
{
    ContentTypesHandler h(part);
    XmlStream::parse(h, xml, label);
    return h.overridden.isEmpty() ? h.byDefault : h.overridden;
}

std::vector<bool> parseDateStyles(const QByteArray& xml, const QString& label)
{
    StylesHandler h;
    XmlStream::parse(h, xml, label);
    std::vector<bool> dateXf(h.xfFormats.size());
    for (size_t i = 0; i < h.xfFormats.size(); ++i) {
        const int f = h.xfFormats[i];
        // A custom format may reuse a built-in number; its own code decides.
        dateXf[i] = h.formatIsDate.contains(f) ? h.formatIsDate.value(f) : NumberFormats::isBuiltinDateFormat(f);
    }
    return dateXf;
}

void parseSharedStrings(const QByteArray& xml, const QString& label, XlsxWorkbook::SharedStrings& out)
{
    SharedStringsHandler h(out);
    XmlStream::parse(h, xml, label);
}

void parseSharedStrings(const ZipContainer& zip, const QByteArray& part, XlsxWorkbook::SharedStrings& out)
{
    SharedStringsHandler h(out);
    const std::unique_ptr<ZipStream> in = zip.openStream(part);
    if (!in)
        return;
    XmlStream stream(h, zip.path());
    stream.pull([&](char* data, size_t size) { return in->read(data, size); });
}

} // namespace xlsx
