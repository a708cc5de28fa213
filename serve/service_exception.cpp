#include "serve/service_exception.h"

#include <QString>
#include <QXmlStreamWriter>

namespace serve {

std::string exception_report(const ServiceException &e) {
    QString text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("ServiceExceptionReport"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.3.0"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/ogc"));
    xml.writeNamespace(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"),
                       QStringLiteral("xsi"));
    xml.writeAttribute(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"),
                       QStringLiteral("schemaLocation"),
                       QStringLiteral("http://www.opengis.net/ogc "
                                      "http://schemas.opengis.net/wms/1.3.0/exceptions_1_3_0.xsd"));
    xml.writeStartElement(QStringLiteral("ServiceException"));
    if (!e.code().empty())
        xml.writeAttribute(QStringLiteral("code"), QString::fromStdString(e.code()));
    // The message may repeat what the client sent; the writer escapes it, and text that
    // is not UTF-8 was replaced before it got here.
    xml.writeCharacters(QString::fromStdString(e.what()));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return text.toStdString();
}

} // namespace serve
