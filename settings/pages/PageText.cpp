#include "settings/pages/PageText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace tessel::pages {

QString ToQt(const CString& s) {
    QStringDecoder decode("windows-1252");
    if (!decode.isValid())
        return QString::fromLatin1(s.c_str(), s.GetLength());
    return decode(QByteArrayView(s.c_str(), s.GetLength()));
}

CString FromQt(const QString& s) {
    QStringEncoder encode("windows-1252");
    QByteArray bytes = encode.isValid() ? QByteArray(encode(s)) : s.toLatin1();
    return CString(bytes.constData(), std::size_t(bytes.size()));
}

}  // namespace tessel::pages
