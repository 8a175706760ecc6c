#include "platform/workbook/XmlStream.h"

#include "platform/Errors.h"

#include <expat.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <string>
#include <cstring>
#include <new>
#include <vector>

namespace {

// libxml2, pulled (it asks for bytes as it needs them, with no look-ahead
// for whole tags), measured fastest here on a 130 MB sheet of inline
// strings with empty handlers: 1.05-1.2 s processor time, pushed 1.3-1.4 s,
// expat 1.6-2.5 s even without namespace processing (callgrind on 10 MB:
// 760 M, 888 M and 1,045 M instructions).
std::atomic<XmlStream::Parser> chosenParser{XmlStream::Parser::Libxml2};

// Expat hands over namespaced names as URI, this byte, local name.
constexpr char kNamespaceSeparator = '\x01';
// Expat parses pulled documents in pieces of this size.
constexpr size_t kPullPiece = size_t(1) << 20;

QString damagedXml(long line)
{
    return QStringLiteral("文件内容有误(第%1行不是正确的XML)，请用Excel或WPS打开后重新保存").arg(line);
}
const char16_t* const kDoctype = u"文件含有不允许的DOCTYPE或实体声明，不是正常的工作簿，无法读取";
const char16_t* const kTooDeep = u"文件的XML嵌套过深，不是正常的工作簿，无法读取";
const char16_t* const kTooManyAttributes = u"文件的XML属性过多，不是正常的工作簿，无法读取";
const char16_t* const kTagTooLong = u"文件的XML标记过长，不是正常的工作簿，无法读取";

} // namespace

class XmlStream::Backend {
public:
    explicit Backend(XmlStream& stream) : stream_(stream) {}
    virtual ~Backend() = default;
    // False at the first fault, then `error` says which (empty when a
    // handler stopped the parse with its own reason).
    bool feed(const char* data, size_t size, bool last, QString& error)
    {
        // Both parsers take int lengths.
        while (size > 0 || last) {
            const int n = int(std::min<size_t>(size, size_t(1) << 30));
            const bool final = last && size_t(n) == size;
            if (!parse(data, n, final, error))
                return false;
            data += n;
            size -= size_t(n);
            if (final)
                break;
        }
        return true;
    }
    virtual void stop() = 0;
    virtual qint64 position() const = 0;
    // The whole document from `source`; false at the first fault, as feed.
    virtual bool pull(const XmlStream::Source& source, QString& error) = 0;

protected:
    virtual bool parse(const char* data, int size, bool final, QString& error) = 0;
    XmlHandler& handler() { return stream_.handler_; }
    bool stopped() const { return !stream_.stopReason_.isEmpty() || stream_.endedHere_; }
    void stopWith(const char16_t* reason) { stream_.stopWith(QString::fromUtf16(reason)); }
    // The source failed: the parser stops on its own when its read fails
    // (libxml2 must not be stopped from inside its read callback).
    void sourceFailed(const Error& error) { stream_.stopWith(error.text(), true, false); }

    // Depth and attribute bounds, for both parsers; false once stopped.
    bool enter(int attributes)
    {
        if (++depth_ > kMaxDepth) {
            stopWith(kTooDeep);
            return false;
        }
        if (attributes > kMaxAttributes) {
            stopWith(kTooManyAttributes);
            return false;
        }
        return true;
    }
    void leave() { --depth_; }

    std::vector<XmlAttribute> attributes_;

private:
    XmlStream& stream_;
    int depth_ = 0;
};

namespace {

QByteArrayView localName(const char* name, QByteArrayView& uri)
{
    const size_t n = std::strlen(name);
    const void* sep = std::memchr(name, kNamespaceSeparator, n);
    if (!sep) {
        uri = QByteArrayView();
        return QByteArrayView(name, qsizetype(n));
    }
    const char* s = static_cast<const char*>(sep);
    uri = QByteArrayView(name, s - name);
    return QByteArrayView(s + 1, qsizetype(n) - (s - name) - 1);
}

class ExpatBackend final : public XmlStream::Backend {
public:
    explicit ExpatBackend(XmlStream& stream) : Backend(stream), parser_(XML_ParserCreateNS("UTF-8", kNamespaceSeparator))
    {
        XML_SetUserData(parser_, this);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetElementHandler(parser_, &ExpatBackend::start, &ExpatBackend::end);
        XML_SetCharacterDataHandler(parser_, &ExpatBackend::chars);
        XML_SetStartDoctypeDeclHandler(parser_, &ExpatBackend::doctype);
        XML_SetEntityDeclHandler(parser_, &ExpatBackend::entity);
    }
    ~ExpatBackend() override { XML_ParserFree(parser_); }

    bool parse(const char* data, int size, bool final, QString& error) override
    {
        if (XML_Parse(parser_, data, size, final) == XML_STATUS_OK)
            return true;
        if (!stopped())
            error = damagedXml(long(XML_GetCurrentLineNumber(parser_)));
        return false;
    }
    void stop() override { XML_StopParser(parser_, XML_FALSE); }
    qint64 position() const override
    {
        return qint64(XML_GetCurrentByteIndex(parser_)) + XML_GetCurrentByteCount(parser_);
    }

    bool pull(const XmlStream::Source& source, QString& error) override
    {
        for (;;) {
            void* buffer = XML_GetBuffer(parser_, int(kPullPiece));
            if (!buffer) {
                error = damagedXml(long(XML_GetCurrentLineNumber(parser_)));
                return false;
            }
            const size_t n = source(static_cast<char*>(buffer), kPullPiece);
            if (XML_ParseBuffer(parser_, int(n), n == 0) != XML_STATUS_OK) {
                if (!stopped())
                    error = damagedXml(long(XML_GetCurrentLineNumber(parser_)));
                return false;
            }
            if (n == 0)
                return true;
        }
    }

private:
    static void XMLCALL start(void* self, const XML_Char* name, const XML_Char** atts)
    {
        auto* b = static_cast<ExpatBackend*>(self);
        if (b->stopped())
            return;
        int count = 0;
        while (atts[2 * count])
            ++count;
        if (!b->enter(count))
            return;
        b->attributes_.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            XmlAttribute& a = b->attributes_[size_t(i)];
            a.name = localName(atts[2 * i], a.uri);
            a.value = QByteArrayView(atts[2 * i + 1], qsizetype(std::strlen(atts[2 * i + 1])));
        }
        QByteArrayView uri;
        const QByteArrayView local = localName(name, uri);
        b->handler().startElement(uri, local, b->attributes_.data(), count);
    }
    static void XMLCALL end(void* self, const XML_Char* name)
    {
        auto* b = static_cast<ExpatBackend*>(self);
        if (b->stopped())
            return;
        b->leave();
        QByteArrayView uri;
        const QByteArrayView local = localName(name, uri);
        b->handler().endElement(uri, local);
    }
    static void XMLCALL chars(void* self, const XML_Char* s, int len)
    {
        auto* b = static_cast<ExpatBackend*>(self);
        if (!b->stopped())
            b->handler().text(QByteArrayView(s, len));
    }
    static void XMLCALL doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<ExpatBackend*>(self)->stopWith(kDoctype);
    }
    static void XMLCALL entity(void* self, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                               const XML_Char*, const XML_Char*, const XML_Char*)
    {
        static_cast<ExpatBackend*>(self)->stopWith(kDoctype);
    }

    XML_Parser parser_;
};

// Without entity substitution libxml2 hands over "&" in an attribute value
// as "&#38;" (and "<" as "&#60;"): character references, decoded here.
QByteArrayView decodeCharacterReferences(QByteArrayView v, std::string& out)
{
    out.clear();
    for (qsizetype i = 0; i < v.size(); ++i) {
        const qsizetype end = v[i] == '&' && i + 2 < v.size() && v[i + 1] == '#' ? v.indexOf(';', i) : -1;
        if (end < 0) {
            out += v[i];
            continue;
        }
        const bool hex = v[i + 2] == 'x';
        std::uint32_t code = 0;
        const auto r = std::from_chars(v.data() + i + 2 + hex, v.data() + end, code, hex ? 16 : 10);
        if (r.ec != std::errc() || r.ptr != v.data() + end || code > 0x10FFFF || code == 0) {
            out += v[i];
            continue;
        }
        const char32_t ucs4 = code;
        out += QString::fromUcs4(&ucs4, 1).toStdString();
        i = end;
    }
    return QByteArrayView(out.data(), qsizetype(out.size()));
}

inline QByteArrayView view(const xmlChar* s)
{
    return s ? QByteArrayView(reinterpret_cast<const char*>(s)) : QByteArrayView();
}

class Libxml2Backend final : public XmlStream::Backend {
public:
    explicit Libxml2Backend(XmlStream& stream) : Backend(stream)
    {
        std::memset(&sax_, 0, sizeof sax_);
        sax_.initialized = XML_SAX2_MAGIC;
        sax_.startElementNs = &Libxml2Backend::start;
        sax_.endElementNs = &Libxml2Backend::end;
        sax_.characters = &Libxml2Backend::chars;
        sax_.cdataBlock = &Libxml2Backend::chars;
        sax_.internalSubset = &Libxml2Backend::doctype;
        sax_.externalSubset = &Libxml2Backend::doctype;
        sax_.entityDecl = &Libxml2Backend::entity;
        sax_.getEntity = &Libxml2Backend::getEntity;
        sax_.serror = &Libxml2Backend::quiet;
    }
    ~Libxml2Backend() override
    {
        if (!ctxt_)
            return;
        if (ctxt_->myDoc)
            xmlFreeDoc(ctxt_->myDoc);
        xmlFreeParserCtxt(ctxt_);
    }

    bool parse(const char* data, int size, bool final, QString& error) override
    {
        if (!ctxt_)
            useContext(xmlCreatePushParserCtxt(&sax_, this, nullptr, 0, nullptr));
        const int rc = xmlParseChunk(ctxt_, data, size, final);
        if (stopped())
            return false;
        if (rc == 0 && ctxt_->wellFormed)
            return true;
        error = damagedXml(long(xmlSAX2GetLineNumber(ctxt_)));
        return false;
    }

    bool pull(const XmlStream::Source& source, QString& error) override
    {
        source_ = &source;
        useContext(xmlCreateIOParserCtxt(&sax_, this, &Libxml2Backend::read, nullptr, this, XML_CHAR_ENCODING_NONE));
        xmlParseDocument(ctxt_);
        source_ = nullptr;
        if (stopped())
            return false;
        if (ctxt_->wellFormed)
            return true;
        error = damagedXml(long(xmlSAX2GetLineNumber(ctxt_)));
        return false;
    }

    void stop() override { xmlStopParser(ctxt_); }
    qint64 position() const override
    {
        // A start tag is handed over before its ">" or "/>" is read.
        const xmlChar* cur = ctxt_->input->cur;
        const qint64 tagEnd = cur[0] == '>' ? 1 : cur[0] == '/' && cur[1] == '>' ? 2 : 0;
        return qint64(xmlByteConsumed(ctxt_)) + tagEnd;
    }

private:
    static Libxml2Backend* self(void* ctx) { return static_cast<Libxml2Backend*>(ctx); }

    void useContext(xmlParserCtxtPtr ctxt)
    {
        if (!ctxt)
            throw std::bad_alloc();
        ctxt_ = ctxt;
        // No network, no entity substitution, no DTD loading; libxml2's own
        // size limits stay on (no XML_PARSE_HUGE).
        xmlCtxtUseOptions(ctxt_, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    }

    // Namespace names are long and few, and libxml2 keeps one copy of each.
    QByteArrayView uriView(const xmlChar* uri)
    {
        if (!uri)
            return QByteArrayView();
        if (uri != lastUri_) {
            lastUri_ = uri;
            lastUriView_ = view(uri);
        }
        return lastUriView_;
    }

    // No exception may cross libxml2: the source's Error stops the parse.
    static int read(void* ctx, char* data, int size)
    {
        Libxml2Backend* b = self(ctx);
        try {
            return int((*b->source_)(data, size_t(std::max(size, 0))));
        } catch (const Error& e) {
            b->sourceFailed(e);
            return -1;
        }
    }

    static void start(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar* uri, int, const xmlChar**,
                      int count, int, const xmlChar** atts)
    {
        Libxml2Backend* b = self(ctx);
        if (b->stopped() || !b->enter(count))
            return;
        if (b->attributes_.size() < size_t(count))
            b->attributes_.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            const xmlChar* const* a = atts + 5 * i;
            QByteArrayView value(reinterpret_cast<const char*>(a[3]), a[4] - a[3]);
            if (value.contains('&')) {
                if (b->decoded_.size() <= size_t(i))
                    b->decoded_.resize(size_t(i) + 1);
                value = decodeCharacterReferences(value, b->decoded_[size_t(i)]);
            }
            b->attributes_[size_t(i)] = {b->uriView(a[2]), view(a[0]), value};
        }
        b->handler().startElement(b->uriView(uri), view(localname), b->attributes_.data(), count);
    }
    static void end(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar* uri)
    {
        Libxml2Backend* b = self(ctx);
        if (b->stopped())
            return;
        b->leave();
        b->handler().endElement(b->uriView(uri), view(localname));
    }
    static void chars(void* ctx, const xmlChar* s, int len)
    {
        if (!self(ctx)->stopped())
            self(ctx)->handler().text(QByteArrayView(reinterpret_cast<const char*>(s), len));
    }
    static void doctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) { self(ctx)->stopWith(kDoctype); }
    static void entity(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*)
    {
        self(ctx)->stopWith(kDoctype);
    }
    // Only the five predefined entities exist.
    static xmlEntityPtr getEntity(void*, const xmlChar* name) { return xmlGetPredefinedEntity(name); }
    static void quiet(void*, xmlErrorPtr) {}

    xmlSAXHandler sax_;
    xmlParserCtxtPtr ctxt_ = nullptr;
    const XmlStream::Source* source_ = nullptr;
    std::vector<std::string> decoded_;
    const xmlChar* lastUri_ = nullptr;
    QByteArrayView lastUriView_;
};

} // namespace

// The bytes that end a stretch of a tag: quotes, the tag's end, and the
// "=" of each attribute.
struct TagSpecial {
    bool table[256] = {};
    constexpr TagSpecial()
    {
        for (char ch : {'"', '\'', '>', '='})
            table[uchar(ch)] = true;
    }
};
constexpr TagSpecial kTagSpecial;

// Follows the document's markup as it arrives, enough to know where each
// tag starts and ends (quoted values, comments, CDATA and processing
// instructions skipped), and counts each tag's bytes and attributes.
class XmlStream::TagGuard {
public:
    // The reason of the first bound passed, null while none is.
    const char16_t* scan(const char* data, size_t size)
    {
        const char* p = data;
        const char* const end = data + size;
        while (p < end) {
            switch (state_) {
            case State::Text: {
                const void* lt = std::memchr(p, '<', size_t(end - p));
                if (!lt)
                    return nullptr;
                p = static_cast<const char*>(lt) + 1;
                state_ = State::Open;
                tagBytes_ = 1;
                attributes_ = 0;
                break;
            }
            case State::Open:
                state_ = *p == '!' ? State::Bang : *p == '?' ? State::Pi : State::Tag;
                run_ = 0;
                if (state_ != State::Tag)
                    ++p;
                break;
            case State::Bang:
                state_ = *p == '-' ? State::Comment : *p == '[' ? State::CData : State::Tag;
                break;
            case State::Tag: {
                const char* start = p;
                while (p < end && !kTagSpecial.table[uchar(*p)])
                    ++p;
                tagBytes_ += p - start;
                if (p < end) {
                    const char ch = *p++;
                    ++tagBytes_;
                    if (ch == '>') {
                        state_ = State::Text;
                    } else if (ch == '=') {
                        if (++attributes_ > XmlStream::kMaxAttributes)
                            return kTooManyAttributes;
                    } else {
                        quote_ = ch;
                        state_ = State::Quote;
                    }
                }
                if (tagBytes_ > XmlStream::kMaxTagBytes)
                    return kTagTooLong;
                break;
            }
            case State::Quote: {
                const void* q = std::memchr(p, quote_, size_t(end - p));
                const char* stop = q ? static_cast<const char*>(q) + 1 : end;
                tagBytes_ += stop - p;
                p = stop;
                if (q)
                    state_ = State::Tag;
                if (tagBytes_ > XmlStream::kMaxTagBytes)
                    return kTagTooLong;
                break;
            }
            case State::Comment: // ends with "-->"
            case State::CData:   // "]]>"
            case State::Pi: {    // "?>"
                const char mark = state_ == State::Comment ? '-' : state_ == State::CData ? ']' : '?';
                const int needed = state_ == State::Pi ? 1 : 2;
                for (; p < end; ++p) {
                    if (*p == '>' && run_ >= needed) {
                        ++p;
                        state_ = State::Text;
                        break;
                    }
                    run_ = *p == mark ? run_ + 1 : 0;
                }
                break;
            }
            }
        }
        return nullptr;
    }

private:
    enum class State : std::uint8_t { Text, Open, Bang, Tag, Quote, Comment, CData, Pi };
    State state_ = State::Text;
    char quote_ = '"';
    int run_ = 0;
    int attributes_ = 0;
    qint64 tagBytes_ = 0;
};

void XmlHandler::stop(const QString& reason)
{
    if (stream_)
        stream_->stopWith(reason);
}

void XmlHandler::stop(const Error& error)
{
    if (stream_)
        stream_->stopWith(error.text(), true);
}

void XmlHandler::endHere()
{
    if (stream_ && stream_->stopReason_.isEmpty() && !stream_->endedHere_) {
        stream_->endedHere_ = true;
        stream_->backend_->stop();
    }
}

qint64 XmlHandler::position() const
{
    return stream_ ? stream_->backend_->position() : 0;
}

XmlStream::XmlStream(XmlHandler& handler, const QString& label, Parser parser) : handler_(handler), label_(label)
{
    // Once, before streams on several threads.
    static const bool ready = (xmlInitParser(), true);
    Q_UNUSED(ready);
    if (parser == Parser::Libxml2)
        backend_ = std::make_unique<Libxml2Backend>(*this);
    else
        backend_ = std::make_unique<ExpatBackend>(*this);
    guard_ = std::make_unique<TagGuard>();
    handler_.stream_ = this;
}

XmlStream::~XmlStream()
{
    handler_.stream_ = nullptr;
}

void XmlStream::stopWith(const QString& reason, bool whole, bool halt)
{
    if (!stopReason_.isEmpty())
        return;
    stopReason_ = reason;
    stopReasonWhole_ = whole;
    if (halt)
        backend_->stop();
}

void XmlStream::raise(const QString& reason) const
{
    if ((stopReasonWhole_ && reason == stopReason_) || label_.isEmpty())
        throw Error(reason);
    throw Error(reason + QStringLiteral(": ") + label_);
}

void XmlStream::feed(const char* data, size_t size)
{
    if (!stopReason_.isEmpty())
        raise(stopReason_);
    if (const char16_t* bound = guard_->scan(data, size)) {
        stopWith(QString::fromUtf16(bound));
        raise(stopReason_);
    }
    QString error;
    if (size > 0 && !backend_->feed(data, size, false, error))
        raise(stopReason_.isEmpty() ? error : stopReason_);
}

void XmlStream::finish()
{
    if (!stopReason_.isEmpty())
        raise(stopReason_);
    QString error;
    if (!backend_->feed(nullptr, 0, true, error))
        raise(stopReason_.isEmpty() ? error : stopReason_);
}

void XmlStream::pull(const Source& source)
{
    // What the source hands over passes the guard first; its refusal ends
    // the parse as the source's own Error would.
    const Source guarded = [this, &source](char* data, size_t size) {
        const size_t n = source(data, size);
        if (const char16_t* bound = guard_->scan(data, n))
            throw Error(label_.isEmpty() ? QString::fromUtf16(bound) : QString::fromUtf16(bound) + QStringLiteral(": ") + label_);
        return n;
    };
    QString error;
    if (!stopReason_.isEmpty() || (!backend_->pull(guarded, error) && !endedHere_))
        raise(stopReason_.isEmpty() ? error : stopReason_);
}

XmlStream::Parser XmlStream::defaultParser()
{
    return chosenParser.load();
}

void XmlStream::setDefaultParser(Parser parser)
{
    chosenParser.store(parser);
}

void XmlStream::parse(XmlHandler& handler, QByteArrayView document, const QString& label)
{
    XmlStream stream(handler, label);
    stream.pull([&document](char* data, size_t size) {
        const size_t n = std::min(size, size_t(document.size()));
        if (n > 0)
            std::memcpy(data, document.data(), n);
        document = document.sliced(qsizetype(n));
        return n;
    });
}

QByteArrayView attributeValue(const XmlAttribute* attributes, int count, QByteArrayView name)
{
    for (int i = 0; i < count; ++i)
        if (attributes[i].name == name)
            return attributes[i].value;
    return QByteArrayView();
}
