#pragma once

#include <QChar>

namespace tenlo::qt {

// The value of one hexadecimal digit of an edit field's text (either case), or -1.
inline int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

}  // namespace tenlo::qt
