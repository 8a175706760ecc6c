#include "platform/Errors.h"
#include "platform/workbook/XmlStream.h"

#include <gtest/gtest.h>

#include <QList>

#include <cstring>

namespace {
// Writes what it is handed as a line per event.
class Recorder final : public XmlHandler {
public:
    QString events;
    void startElement(QByteArrayView uri, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        events += u'<' + QString::fromUtf8(uri) + u'|' + QString::fromUtf8(name);
        for (int i = 0; i < n; ++i)
            events += u' ' + QString::fromUtf8(a[i].name) + u'=' + QString::fromUtf8(a[i].value);
        events += u'>';
    }
    void endElement(QByteArrayView, QByteArrayView name) override { events += "</" + QString::fromUtf8(name) + u'>'; }
    void text(QByteArrayView chars) override { events += QString::fromUtf8(chars); }
};

QString parse(XmlStream::Parser parser, const QByteArray& xml, qsizetype piece)
{
    Recorder r;
    XmlStream stream(r, QStringLiteral("f.xlsx"), parser);
    for (qsizetype i = 0; i < xml.size(); i += piece)
        stream.feed(xml.constData() + i, size_t(std::min(piece, xml.size() - i)));
    stream.finish();
    return r.events;
}
} // namespace

TEST(XmlStream, BothParsersHandOverTheSameEventsInAnyPieces)
{
    // Quotes, "=" and ">" in comments, CDATA, instructions and values are
    // no tag's ends or attributes.
    const QByteArray xml = "<?xml version=\"1.0\"?><?pi a=\"?><!-- \" = ' --><x:a xmlns:x=\"urn:x\" k=\"v&amp;w\" "
                           "q='>=\"'><b>&lt;&#20013;&#x6587;<![CDATA[<c \"=]]]></b><x:c/></x:a>";
    const QString expected = QStringLiteral("<urn:x|a k=v&w q=>=\"><|b><中文<c \"=]</b><urn:x|c></c></a>");
    for (XmlStream::Parser p : {XmlStream::Parser::Expat, XmlStream::Parser::Libxml2})
        for (qsizetype piece : {1, 7, 4096})
            EXPECT_EQ(parse(p, xml, piece), expected) << int(p) << " " << piece;
}

TEST(XmlStream, HostileDocumentsEndTheParse)
{
    const QByteArray deep = QByteArray("<a>").repeated(XmlStream::kMaxDepth + 1) + QByteArray("</a>").repeated(XmlStream::kMaxDepth + 1);
    QByteArray attributes = "<a";
    for (int i = 0; i <= XmlStream::kMaxAttributes; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"1\"";
    attributes += "/>";
    // The bounds hold whatever the values hold, before the parser sees the tag's end.
    QByteArray hidden = "<a";
    for (int i = 0; i <= XmlStream::kMaxAttributes; ++i)
        hidden += " a" + QByteArray::number(i) + "='>'";
    hidden += "/>";
    const QByteArray longTag = "<a v=\"" + QByteArray(XmlStream::kMaxTagBytes, 'x') + "\"/>";
    const struct {
        QByteArray xml;
        const char* reason;
    } cases[] = {
        {"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", "DOCTYPE"},
        {"<!DOCTYPE a SYSTEM \"http://example.invalid/a.dtd\"><a/>", "DOCTYPE"},
        {"<a>&undeclared;</a>", "XML"},
        {deep, "嵌套过深"},
        {attributes, "属性过多"},
        {hidden, "属性过多"},
        {longTag, "标记过长"},
        {"<a><b></a>", "XML"},
        {"<a>", "XML"}, // cut short
    };
    for (XmlStream::Parser p : {XmlStream::Parser::Expat, XmlStream::Parser::Libxml2}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.xml.left(60).toStdString());
            try {
                parse(p, c.xml, 4096);
                ADD_FAILURE() << "parsed";
            } catch (const Error& e) {
                EXPECT_TRUE(e.text().contains(QString::fromUtf8(c.reason))) << e.text().toStdString();
                EXPECT_TRUE(e.text().endsWith(QStringLiteral(": f.xlsx")));
            }
        }
    }
}

namespace {
// Where each non-empty element's start and end tag ends, and whether the
// handler ended the parse early.
class Positions final : public XmlHandler {
public:
    QList<qint64> ends;
    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute*, int) override
    {
        if (name != "c")
            ends << position();
    }
    void endElement(QByteArrayView, QByteArrayView name) override
    {
        if (name == "c")
            return;
        ends << position();
        if (name == "row")
            endHere(); // what follows is never looked at
    }
    void text(QByteArrayView) override {}
};
} // namespace

TEST(XmlStream, PulledDocumentsGiveTagEndsAndMayEndEarly)
{
    const QByteArray xml = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<w xmlns=\"u\"><s  a='1' ><row r=\"1\"><c/></row >"
                           "</s><broken";
    QList<qint64> expected;
    for (const char* tag : {"<w xmlns=\"u\">", "<s  a='1' >", "<row r=\"1\">", "</row >"})
        expected << xml.indexOf(tag) + qint64(std::strlen(tag));
    for (XmlStream::Parser p : {XmlStream::Parser::Expat, XmlStream::Parser::Libxml2}) {
        Positions h;
        XmlStream stream(h, QStringLiteral("f.xlsx"), p);
        qsizetype at = 0;
        stream.pull([&](char* data, size_t size) {
            const size_t n = std::min(size, size_t(xml.size() - at));
            std::memcpy(data, xml.constData() + at, n);
            at += qsizetype(n);
            return n;
        });
        EXPECT_EQ(h.ends, expected) << int(p);
    }
}
