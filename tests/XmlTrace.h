// The events of an XML document as one list of lines, from our scanner and
// from libxml2's SAX2 parser, so the two can be compared: "<name a=v>",
// "</name>", and the text between two tags joined into one "'text'" line.
#pragma once

#include "workbook/XmlScanner.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xmltrace {

using Trace = std::vector<std::string>;

class Recorder {
public:
    void start(std::string_view name) { trace.push_back("<" + std::string(name)); }
    void attribute(std::string_view name, std::string_view value)
    {
        trace.back() += " " + std::string(name) + "=" + std::string(value);
    }
    void startDone() { trace.back() += ">"; }
    void end(std::string_view name) { trace.push_back("</" + std::string(name) + ">"); }
    void text(std::string_view text)
    {
        if (text.empty())
            return;
        if (!trace.empty() && trace.back().front() == '\'')
            trace.back().insert(trace.back().size() - 1, text);
        else
            trace.push_back("'" + std::string(text) + "'");
    }

    Trace trace;
};

class ScannerRecorder : public workbook::xlsx::XmlHandler {
public:
    void startElement(std::string_view name, const workbook::xlsx::Attributes& attributes) override
    {
        recorder.start(name);
        attributes.forEach([&](std::string_view attribute, std::string_view value) { recorder.attribute(attribute, value); });
        recorder.startDone();
    }
    void endElement(std::string_view name) override { recorder.end(name); }
    void text(std::string_view text) override { recorder.text(text); }

    Recorder recorder;
};

// Our scanner's events, or the error it refused the document with.
struct ScannerResult {
    Trace trace;
    std::optional<workbook::xlsx::XmlError> error;
};

inline ScannerResult scan(std::string_view document, size_t blockSize = SIZE_MAX)
{
    workbook::xlsx::MemorySource source(document, blockSize);
    ScannerRecorder handler;
    try {
        workbook::xlsx::ScanXml(source, handler);
    } catch (const workbook::xlsx::XmlError& error) {
        return {std::move(handler.recorder.trace), error};
    }
    return {std::move(handler.recorder.trace), std::nullopt};
}

// libxml2's events: no network, CDATA as text; any error or a DTD makes it
// refused. Entities are substituted, or libxml2 would hand "&amp;" in an
// attribute over as "&#38;"; no entity can be declared, since parsing stops
// at a DTD.
struct LibxmlResult {
    Trace trace;
    bool wellFormed = false;
    bool dtd = false;
    std::string declaredEncoding;
};

class LibxmlRecorder {
public:
    explicit LibxmlRecorder(std::string_view document) : rest_(document) {}

    LibxmlResult run()
    {
        // Encoding complaints would go to stderr; the verdict is enough here.
        xmlSetGenericErrorFunc(nullptr, &LibxmlRecorder::ignore);
        xmlSAXHandler sax {};
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElementNs = &LibxmlRecorder::startElement;
        sax.endElementNs = &LibxmlRecorder::endElement;
        sax.characters = &LibxmlRecorder::characters;
        sax.ignorableWhitespace = &LibxmlRecorder::characters;
        sax.internalSubset = &LibxmlRecorder::internalSubset;
        sax.serror = &LibxmlRecorder::error;
        xmlParserCtxtPtr context = xmlCreateIOParserCtxt(&sax, this, &LibxmlRecorder::read, nullptr, this, XML_CHAR_ENCODING_NONE);
        context_ = context;
        xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOENT);
        xmlParseDocument(context);
        result_.wellFormed = result_.wellFormed && context->wellFormed != 0 && !result_.dtd;
        if (context->encoding)
            result_.declaredEncoding = reinterpret_cast<const char*>(context->encoding);
        else if (context->input && context->input->encoding)
            result_.declaredEncoding = reinterpret_cast<const char*>(context->input->encoding);
        // Entities in a DTD make libxml2 build a document even for SAX.
        xmlFreeDoc(context->myDoc);
        xmlFreeParserCtxt(context);
        result_.trace = std::move(recorder_.trace);
        return std::move(result_);
    }

private:
    static void ignore(void*, const char*, ...) {}
    static LibxmlRecorder& self(void* context) { return *static_cast<LibxmlRecorder*>(context); }

    static void startElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*, int, const xmlChar**,
                             int count, int, const xmlChar** attributes)
    {
        Recorder& recorder = self(context).recorder_;
        recorder.start(reinterpret_cast<const char*>(localName));
        for (int i = 0; i < count; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            recorder.attribute(reinterpret_cast<const char*>(attribute[0]),
                               std::string_view(reinterpret_cast<const char*>(attribute[3]),
                                                static_cast<size_t>(attribute[4] - attribute[3])));
        }
        recorder.startDone();
    }
    static void endElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*)
    {
        self(context).recorder_.end(reinterpret_cast<const char*>(localName));
    }
    static void characters(void* context, const xmlChar* text, int length)
    {
        self(context).recorder_.text(std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
    }
    static void internalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
    {
        self(context).result_.dtd = true;
        xmlStopParser(self(context).context_);
    }
    static void error(void* context, xmlErrorPtr error)
    {
        if (error->level >= XML_ERR_ERROR)
            self(context).result_.wellFormed = false;
    }
    static int read(void* context, char* buffer, int length)
    {
        std::string_view& rest = self(context).rest_;
        const size_t count = std::min(rest.size(), static_cast<size_t>(length));
        std::copy_n(rest.data(), count, buffer);
        rest.remove_prefix(count);
        return static_cast<int>(count);
    }

    std::string_view rest_;
    xmlParserCtxtPtr context_ = nullptr;
    Recorder recorder_;
    LibxmlResult result_ {{}, true, false, {}};
};

inline LibxmlResult parseWithLibxml(std::string_view document)
{
    return LibxmlRecorder(document).run();
}

} // namespace xmltrace
