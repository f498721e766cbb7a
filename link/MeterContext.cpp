#include "MeterContext.h"

QByteArray MeterContext::addressText() const
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QByteArray text(2, '0');
    text[0] = kDigits[address >> 4];
    text[1] = kDigits[address & 0x0F];
    return text;
}
