#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

// Mutated variants of test inputs, the same on every run: bytes flipped, the text cut
// short, random bytes or a stretch of another input put in, a piece repeated.
inline QByteArray mutated(const QList<QByteArray> &inputs, QRandomGenerator &random)
{
    QByteArray bytes = inputs[random.bounded(qsizetype(inputs.size()))];
    const int steps = 1 + random.bounded(4);
    for (int step = 0; step < steps && !bytes.isEmpty(); ++step) {
        const qsizetype at = random.bounded(bytes.size());
        switch (random.bounded(5)) {
        case 0:
            bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
            break;
        case 1:
            bytes.truncate(at);
            break;
        case 2:
            for (int i = random.bounded(8); i >= 0; --i)
                bytes.insert(at, char(random.bounded(256)));
            break;
        case 3: {
            const QByteArray &other = inputs[random.bounded(qsizetype(inputs.size()))];
            const qsizetype from = random.bounded(other.size());
            bytes.insert(at, other.mid(from, random.bounded(64)));
            break;
        }
        default:
            bytes.insert(at, bytes.mid(at, random.bounded(200)));
            break;
        }
    }
    return bytes;
}
