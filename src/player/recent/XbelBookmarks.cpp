#include "player/recent/XbelBookmarks.h"

#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <initializer_list>
#include <utility>

namespace {

constexpr char kBookmarkPrefix[] = "bookmark";
constexpr char kMimePrefix[] = "mime";

// The list this code writes when there is none yet; it then goes through the same pass as any.
constexpr char kEmptyList[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\"\n"
    "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
    "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
    ">\n"
    "</xbel>\n";

// Nesting of the parts of one bookmark, the root <xbel> being 1.
enum Depth : int { kRoot = 1, kBookmark, kInfo, kMetadata, kMetadataChild, kApplication };

QString timeText(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// `attributes` with each of `values` set: replaced where the attribute exists, appended where not.
QXmlStreamAttributes withValues(QXmlStreamAttributes attributes,
                                std::initializer_list<std::pair<QString, QString>> values) {
    for (const auto& [name, value] : values) {
        bool replaced = false;
        for (QXmlStreamAttribute& attribute : attributes) {
            if (attribute.qualifiedName() == name) {
                attribute = QXmlStreamAttribute(name, value);
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            attributes.append(name, value);
        }
    }
    return attributes;
}

// One pass over the document, token by token, into a new one. The writer is used without its
// namespace handling: names and namespace declarations are written as the document spells them,
// so what is copied reads as it did.
class Rewriter {
  public:
    Rewriter(const QByteArray& document, const XbelVisit& visit)
        : in_(document), out_(&result_), visit_(visit) {}

    XbelUpdate run();

  private:
    using Writer = void (Rewriter::*)(const QString& indent);

    void token(QXmlStreamReader::TokenType type);
    void startElement();
    void endElement();
    bool startsVisitedBookmark() const;
    bool bindsKnownPrefixElsewhere() const;
    void copyStart(const QXmlStreamAttributes& attributes);
    void flushSpace();
    // Writes a new child of the element about to end, indented one step deeper than that element.
    void insert(Writer write);
    void writeBookmark(const QString& indent);
    void writeInfo(const QString& indent);
    void writeMetadata(const QString& indent);
    void writeMimeType(const QString& indent);
    void writeApplications(const QString& indent);
    void writeApplication(const QString& indent);

    QXmlStreamReader in_;
    QByteArray result_;
    QXmlStreamWriter out_;
    const XbelVisit& visit_;
    QString error_;
    int depth_ = 0;
    // Blank text is held back until the next token, so that an addition before an end tag comes
    // between the last child's line and the end tag's indentation.
    QString pendingSpace_;
    // Where the pass is in the visited file's bookmark, and which of its parts it has seen.
    bool inBookmark_ = false;
    bool bookmarkDone_ = false;
    bool inInfo_ = false;
    bool sawInfo_ = false;
    bool inMetadata_ = false;
    bool sawMetadata_ = false;
    bool sawMimeType_ = false;
    bool inApplications_ = false;
    bool sawApplications_ = false;
    bool sawApplication_ = false;
};

XbelUpdate Rewriter::run() {
    while (!in_.atEnd() && error_.isEmpty()) {
        token(in_.readNext());
    }
    if (in_.hasError()) {
        return {{},
                QStringLiteral("line %1, column %2: %3")
                    .arg(in_.lineNumber())
                    .arg(in_.columnNumber())
                    .arg(in_.errorString())};
    }
    if (!error_.isEmpty()) {
        return {{}, error_};
    }
    return {result_, {}};
}

void Rewriter::token(QXmlStreamReader::TokenType type) {
    if (type == QXmlStreamReader::Characters && in_.isWhitespace() && !in_.isCDATA()) {
        pendingSpace_ += in_.text();
        return;
    }
    if (type != QXmlStreamReader::EndElement) {
        flushSpace();
    }
    switch (type) {
        case QXmlStreamReader::StartDocument:
            if (!in_.documentVersion().isEmpty()) {
                if (in_.isStandaloneDocument()) {
                    out_.writeStartDocument(in_.documentVersion().toString(), true);
                } else {
                    out_.writeStartDocument(in_.documentVersion().toString());
                }
                // The reader keeps no blank text before the root; the root gets its own line.
                out_.writeCharacters(QStringLiteral("\n"));
            }
            break;
        case QXmlStreamReader::DTD:
            out_.writeDTD(in_.text().toString());
            break;
        case QXmlStreamReader::StartElement:
            startElement();
            break;
        case QXmlStreamReader::EndElement:
            endElement();
            break;
        case QXmlStreamReader::Characters:
            if (in_.isCDATA()) {
                out_.writeCDATA(in_.text().toString());
            } else {
                out_.writeCharacters(in_.text().toString());
            }
            break;
        case QXmlStreamReader::Comment:
            out_.writeComment(in_.text().toString());
            break;
        case QXmlStreamReader::ProcessingInstruction:
            out_.writeProcessingInstruction(in_.processingInstructionTarget().toString(),
                                            in_.processingInstructionData().toString());
            break;
        case QXmlStreamReader::EntityReference:
            out_.writeEntityReference(in_.name().toString());
            break;
        case QXmlStreamReader::EndDocument:
            out_.writeEndDocument();
            break;
        default:
            break;  // no token, or an error the loop reports
    }
}

void Rewriter::flushSpace() {
    if (!pendingSpace_.isEmpty()) {
        out_.writeCharacters(pendingSpace_);
        pendingSpace_.clear();
    }
}

bool Rewriter::bindsKnownPrefixElsewhere() const {
    for (const QXmlStreamNamespaceDeclaration& declaration : in_.namespaceDeclarations()) {
        if ((declaration.prefix() == QLatin1String(kBookmarkPrefix) &&
             declaration.namespaceUri() != QLatin1String(xbel::kBookmarkNamespace)) ||
            (declaration.prefix() == QLatin1String(kMimePrefix) &&
             declaration.namespaceUri() != QLatin1String(xbel::kMimeNamespace))) {
            return true;
        }
    }
    return false;
}

bool Rewriter::startsVisitedBookmark() const {
    if (depth_ != kBookmark || bookmarkDone_ || in_.name() != QLatin1String("bookmark") ||
        !in_.namespaceUri().isEmpty()) {
        return false;
    }
    const QString href = in_.attributes().value(QLatin1String("href")).toString();
    if (href == visit_.href) {
        return true;
    }
    const QUrl url(href);
    return url.isLocalFile() && url.toLocalFile() == visit_.localPath;
}

void Rewriter::copyStart(const QXmlStreamAttributes& attributes) {
    out_.writeStartElement(in_.qualifiedName().toString());
    for (const QXmlStreamNamespaceDeclaration& declaration : in_.namespaceDeclarations()) {
        const QString prefix = declaration.prefix().toString();
        out_.writeAttribute(
            prefix.isEmpty() ? QStringLiteral("xmlns") : QStringLiteral("xmlns:") + prefix,
            declaration.namespaceUri().toString());
    }
    for (const QXmlStreamAttribute& attribute : attributes) {
        // Values a DTD supplies were not in the text and stay out of it.
        if (!attribute.isDefault()) {
            out_.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
        }
    }
}

void Rewriter::startElement() {
    ++depth_;
    if (bindsKnownPrefixElsewhere()) {
        error_ = QStringLiteral("<%1> binds the prefix bookmark: or mime: to another namespace")
                     .arg(in_.qualifiedName());
        return;
    }
    const QStringView name = in_.name();
    const QStringView ns = in_.namespaceUri();
    const QString now = timeText(visit_.time);
    if (depth_ == kRoot) {
        if (name != QLatin1String("xbel") || !ns.isEmpty()) {
            error_ =
                QStringLiteral("the root element is <%1>, not <xbel>").arg(in_.qualifiedName());
            return;
        }
        copyStart(in_.attributes());
        // What this code adds uses these prefixes; a list that lacks them gets them declared.
        for (const auto& [prefix, uri] : {std::pair{kBookmarkPrefix, xbel::kBookmarkNamespace},
                                          std::pair{kMimePrefix, xbel::kMimeNamespace}}) {
            bool declared = false;
            for (const QXmlStreamNamespaceDeclaration& declaration : in_.namespaceDeclarations()) {
                declared = declared || declaration.prefix() == QLatin1String(prefix);
            }
            if (!declared) {
                out_.writeAttribute(QStringLiteral("xmlns:") + QLatin1String(prefix),
                                    QLatin1String(uri));
            }
        }
        return;
    }
    if (startsVisitedBookmark()) {
        inBookmark_ = true;
        copyStart(withValues(in_.attributes(), {{QStringLiteral("modified"), now},
                                                {QStringLiteral("visited"), now}}));
        return;
    }
    if (inBookmark_ && depth_ == kInfo && name == QLatin1String("info") && ns.isEmpty()) {
        inInfo_ = sawInfo_ = true;
    } else if (inInfo_ && depth_ == kMetadata && name == QLatin1String("metadata") &&
               ns.isEmpty() &&
               in_.attributes().value(QLatin1String("owner")) ==
                   QLatin1String(xbel::kMetadataOwner)) {
        inMetadata_ = sawMetadata_ = true;
    } else if (inMetadata_ && depth_ == kMetadataChild && name == QLatin1String("mime-type") &&
               ns == QLatin1String(xbel::kMimeNamespace)) {
        sawMimeType_ = true;
        copyStart(withValues(in_.attributes(), {{QStringLiteral("type"), visit_.mimeType}}));
        return;
    } else if (inMetadata_ && depth_ == kMetadataChild && name == QLatin1String("applications") &&
               ns == QLatin1String(xbel::kBookmarkNamespace)) {
        inApplications_ = sawApplications_ = true;
    } else if (inApplications_ && !sawApplication_ && depth_ == kApplication &&
               name == QLatin1String("application") &&
               ns == QLatin1String(xbel::kBookmarkNamespace) &&
               in_.attributes().value(QLatin1String("name")) == visit_.application) {
        sawApplication_ = true;
        const int count = in_.attributes().value(QLatin1String("count")).toInt();
        copyStart(
            withValues(in_.attributes(), {{QStringLiteral("exec"), visit_.exec},
                                          {QStringLiteral("modified"), now},
                                          {QStringLiteral("count"), QString::number(count + 1)}}));
        return;
    }
    copyStart(in_.attributes());
}

void Rewriter::endElement() {
    if (inApplications_ && depth_ == kMetadataChild) {
        if (!sawApplication_) {
            insert(&Rewriter::writeApplication);
        }
        inApplications_ = false;
    } else if (inMetadata_ && depth_ == kMetadata) {
        if (!sawMimeType_) {
            insert(&Rewriter::writeMimeType);
        }
        if (!sawApplications_) {
            insert(&Rewriter::writeApplications);
        }
        inMetadata_ = false;
    } else if (inInfo_ && depth_ == kInfo) {
        if (!sawMetadata_) {
            insert(&Rewriter::writeMetadata);
        }
        inInfo_ = false;
    } else if (inBookmark_ && depth_ == kBookmark) {
        if (!sawInfo_) {
            insert(&Rewriter::writeInfo);
        }
        inBookmark_ = false;
        bookmarkDone_ = true;
    } else if (depth_ == kRoot && !bookmarkDone_) {
        insert(&Rewriter::writeBookmark);
        bookmarkDone_ = true;
    }
    flushSpace();
    out_.writeEndElement();
    --depth_;
}

void Rewriter::insert(Writer write) {
    // Blank text before an end tag ends in that tag's own indentation.
    const qsizetype lineStart = pendingSpace_.lastIndexOf(QLatin1Char('\n')) + 1;
    const QString indent = pendingSpace_.mid(lineStart) + QStringLiteral("  ");
    out_.writeCharacters(pendingSpace_ + QStringLiteral("  "));
    (this->*write)(indent);
}

void Rewriter::writeBookmark(const QString& indent) {
    const QString now = timeText(visit_.time);
    out_.writeStartElement(QStringLiteral("bookmark"));
    out_.writeAttribute(QStringLiteral("href"), visit_.href);
    out_.writeAttribute(QStringLiteral("added"), now);
    out_.writeAttribute(QStringLiteral("modified"), now);
    out_.writeAttribute(QStringLiteral("visited"), now);
    const QString inner = indent + QStringLiteral("  ");
    out_.writeCharacters(QLatin1Char('\n') + inner);
    writeInfo(inner);
    out_.writeCharacters(QLatin1Char('\n') + indent);
    out_.writeEndElement();
}

void Rewriter::writeInfo(const QString& indent) {
    out_.writeStartElement(QStringLiteral("info"));
    const QString inner = indent + QStringLiteral("  ");
    out_.writeCharacters(QLatin1Char('\n') + inner);
    writeMetadata(inner);
    out_.writeCharacters(QLatin1Char('\n') + indent);
    out_.writeEndElement();
}

void Rewriter::writeMetadata(const QString& indent) {
    out_.writeStartElement(QStringLiteral("metadata"));
    out_.writeAttribute(QStringLiteral("owner"), QLatin1String(xbel::kMetadataOwner));
    const QString inner = indent + QStringLiteral("  ");
    out_.writeCharacters(QLatin1Char('\n') + inner);
    writeMimeType(inner);
    out_.writeCharacters(QLatin1Char('\n') + inner);
    writeApplications(inner);
    out_.writeCharacters(QLatin1Char('\n') + indent);
    out_.writeEndElement();
}

void Rewriter::writeMimeType(const QString& /*indent*/) {
    out_.writeEmptyElement(QStringLiteral("mime:mime-type"));
    out_.writeAttribute(QStringLiteral("type"), visit_.mimeType);
}

void Rewriter::writeApplications(const QString& indent) {
    out_.writeStartElement(QStringLiteral("bookmark:applications"));
    const QString inner = indent + QStringLiteral("  ");
    out_.writeCharacters(QLatin1Char('\n') + inner);
    writeApplication(inner);
    out_.writeCharacters(QLatin1Char('\n') + indent);
    out_.writeEndElement();
}

void Rewriter::writeApplication(const QString& /*indent*/) {
    out_.writeEmptyElement(QStringLiteral("bookmark:application"));
    out_.writeAttribute(QStringLiteral("name"), visit_.application);
    out_.writeAttribute(QStringLiteral("exec"), visit_.exec);
    out_.writeAttribute(QStringLiteral("modified"), timeText(visit_.time));
    out_.writeAttribute(QStringLiteral("count"), QStringLiteral("1"));
}

}  // namespace

XbelUpdate recordXbelVisit(const QByteArray& document, const XbelVisit& visit) {
    return Rewriter(document.isEmpty() ? QByteArray(kEmptyList) : document, visit).run();
}
