#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

// A streaming XML parser for the parts of .xlsx and .ods files: elements
// and text are handed to a handler as they are read; no tree is built.
//
// It treats the document as hostile: a DOCTYPE (and with it every entity
// declaration, internal or external) is refused, never resolved or
// fetched; nesting deeper than kMaxDepth ends the parse, and a tag longer
// than kMaxTagBytes or with more than kMaxAttributes attributes is refused
// before the parser sees its end (libxml2 compares an element's attributes
// pairwise: 200,000 on one element cost a minute). Names and attribute
// values are UTF-8 as the parser hands them over, valid for the callback
// only.

struct XmlAttribute {
    QByteArrayView uri;   // empty without a namespace
    QByteArrayView name;  // the local name
    QByteArrayView value;
};

class XmlStream;

// The value of the attribute with local name `name`, whatever its
// namespace; null when there is none.
QByteArrayView attributeValue(const XmlAttribute* attributes, int count, QByteArrayView name);

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(QByteArrayView uri, QByteArrayView name, const XmlAttribute* attributes,
                              int count) = 0;
    virtual void endElement(QByteArrayView uri, QByteArrayView name) = 0;
    // Character data of the current element, possibly in several pieces.
    virtual void text(QByteArrayView chars) = 0;

    // Ends the parse; XmlStream::finish then raises Error with `reason`.
    // Handlers report through this instead of throwing, since parsers are C.
    void stop(const QString& reason);
    // The same for an Error raised below the handler; its text stands whole.
    void stop(const class Error& error);
    // Ends the parse here, without fault: the rest of the document is not
    // read (a handler that was handed one piece of a document).
    void endHere();
    // Bytes of the document up to the end of the element start or end tag
    // being handed over (a byte-order mark counts).
    qint64 position() const;

private:
    friend class XmlStream;
    XmlStream* stream_ = nullptr;
};

class XmlStream {
public:
    enum class Parser { Expat, Libxml2 };
    static constexpr int kMaxDepth = 256;
    static constexpr int kMaxAttributes = 512;
    static constexpr qint64 kMaxTagBytes = qint64(1) << 20;

    // `label` names the source in error texts (the workbook's path).
    XmlStream(XmlHandler& handler, const QString& label, Parser parser = defaultParser());
    ~XmlStream();

    // Parses the next piece of the document; raises Error at the first fault.
    void feed(const char* data, size_t size);
    // The document ends here; raises Error when it is incomplete.
    void finish();

    // Fills up to `size` bytes and gives how many; 0 at the end. May raise Error.
    using Source = std::function<size_t(char* data, size_t size)>;
    // The whole document, pulled from `source` as the parser needs it
    // (cheaper than feeding pieces: the parser need not look ahead for
    // complete tags). Raises Error at the first fault, the source's own too.
    void pull(const Source& source);

    // A whole document in memory.
    static void parse(XmlHandler& handler, QByteArrayView document, const QString& label);

    // The parser new streams use; the benchmark compares the two.
    static Parser defaultParser();
    static void setDefaultParser(Parser parser);

    class Backend;
    class TagGuard;

private:
    friend class XmlHandler;
    void stopWith(const QString& reason, bool whole = false, bool halt = true);
    bool endedHere_ = false;
    [[noreturn]] void raise(const QString& reason) const;

    XmlHandler& handler_;
    QString label_;
    QString stopReason_;
    bool stopReasonWhole_ = false; // already names the file
    std::unique_ptr<Backend> backend_;
    std::unique_ptr<TagGuard> guard_;
};
