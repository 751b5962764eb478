#pragma once

#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <vector>

namespace net {

// A failed load or a read of a child that does not exist. The description says
// what failed (host, HTTP status, parser message) and never holds the request
// URL or its query, which carries the password.
class XMLError : public std::runtime_error {
public:
    explicit XMLError(const QString& description, bool requestMayHaveArrived = true);
    QString description() const { return description_; }
    // False only when the request was never sent whole (no connection, a bad
    // address, a refused certificate): then the server cannot have acted on
    // it. Any later failure leaves open whether it did.
    bool requestMayHaveArrived() const { return requestMayHaveArrived_; }

private:
    QString description_;
    bool requestMayHaveArrived_;
};

struct ParsedDocument; // the parsed reply, shared by the document and its nodes

class XMLNodeList;

// An element (or other child node) of a loaded reply. Nodes stay readable after
// the document has loaded another URL: they keep their own reply alive.
class XMLNode {
public:
    XMLNode() = default;
    XMLNodeList children() const;
    // The concatenated text of all descendants, untrimmed.
    QString text() const;

private:
    friend class XMLDocument;
    friend class XMLNodeList;
    XMLNode(std::shared_ptr<const ParsedDocument> doc, void* node) : doc_(std::move(doc)), node_(node) {}
    std::shared_ptr<const ParsedDocument> doc_;
    void* node_ = nullptr;
};

// The child nodes of an element in document order; whitespace-only text nodes
// are left out.
class XMLNodeList {
public:
    int length() const;
    // Throws XMLError when there is no child at position i (from 0).
    XMLNode item(int i) const;

private:
    friend class XMLNode;
    std::shared_ptr<const ParsedDocument> doc_;
    std::vector<void*> nodes_;
};

struct LoadLimits {
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds requestTimeout{30'000};
    qint64 maxBodyBytes = 8 * 1024 * 1024;
    int maxRedirects = 5;
};

// The schemes a load of url follows redirects to: a request sent over https
// never continues over plain http, whatever the letter case of its scheme.
const char* RedirectProtocols(QByteArrayView url);

class Transport; // the document's transfer handle and the session it belongs to

// The platform's XML document object: load() sends one HTTP GET for the URL,
// waits for the reply and parses it; root() then reads the reply by position.
// A document may be used from any thread, one thread at a time.
class XMLDocument {
public:
    XMLDocument();
    ~XMLDocument();
    XMLDocument(const XMLDocument&) = delete;
    XMLDocument& operator=(const XMLDocument&) = delete;

    // Sends the URL byte for byte as given: percent signs, "&", "+" and dot
    // segments are kept, nothing is encoded a second time. Only what an HTTP
    // request line cannot carry is percent-encoded, as its GBK bytes: spaces,
    // control characters, non-ASCII characters and "#" (which would otherwise
    // cut the query short). Throws XMLError on a transport failure, a time-out,
    // an HTTP status of 400 or more, an oversized body or a body that is not
    // well-formed XML; the previous reply is then gone.
    void load(const QString& url);
    // Parses a reply body as load() parses what it received, with the same
    // limits and the same failures; the previous reply is gone either way.
    void loadBody(QByteArrayView body);
    // Throws XMLError when nothing has been loaded.
    XMLNode root() const;
    // Whether the last load's request went out more than once: libcurl sends
    // it again by itself when a reused connection closes before any byte of
    // the reply, and the server may have acted on the first copy.
    bool requestWasRepeated() const { return repeated_; }

    // Limits of every later load in this process; tests shorten them.
    static void setLimits(const LoadLimits& limits);
    static LoadLimits limits();
    // Drops the session cookies and kept-alive connections that all documents share.
    static void resetSession();

private:
    std::unique_ptr<Transport> transport_;
    std::shared_ptr<const ParsedDocument> doc_;
    bool repeated_ = false;
};

} // namespace net
