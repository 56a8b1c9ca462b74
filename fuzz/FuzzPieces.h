#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <cstdint>

// The first byte of a fuzz input chooses how the rest is cut into arrivals,
// so the machines also see replies split at every possible place.
inline QByteArrayList fuzzPieces(const uint8_t* data, size_t size)
{
    QByteArrayList pieces;
    if (size == 0)
        return pieces;
    const qsizetype step = (data[0] & 0x3f) + 1;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    for (qsizetype i = 0; i < rest.size(); i += step)
        pieces << rest.mid(i, step);
    return pieces;
}
