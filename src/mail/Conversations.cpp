#include "mail/Conversations.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Past this many, the oldest ids of a References field are passed over:
// the last ones place the message, and a field of thousands costs no more.
constexpr qsizetype kMostReferences = 64;

struct Node {
    int message = -1;  // -1: an id that was named, no message held
    int parent = -1;
    std::vector<int> children;
    qint64 when = std::numeric_limits<qint64>::max();  // its own date, else its first answer's
};

qint64 dateOf(const QString& text)
{
    const QDateTime when = QDateTime::fromString(text.trimmed(), Qt::RFC2822Date);
    return when.isValid() ? when.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// Whether `node` is `of` or above it: linking `of` under `node` would close a loop.
bool above(const std::vector<Node>& nodes, int node, int of)
{
    for (int n = of; n >= 0; n = nodes[size_t(n)].parent)
        if (n == node)
            return true;
    return false;
}

bool hasPrefix(const QString& subject)
{
    return baseSubject(subject) != subject.simplified();
}

}  // namespace

QString baseSubject(const QString& subject)
{
    // "Re:", "Fwd:", "AW:" (German), "SV:" (Nordic), "VS:" (Finnish), "Antw:" and "Doorst:" (Dutch),
    // "RE[2]:", "Re(3):", as many as there are.
    static const QRegularExpression prefix(
        QStringLiteral(
            "^(re|fw|fwd|aw|wg|sv|vs|antw|doorst|rif|r|tr|rv|enc|odp|pd|res)\\s*(\\[\\d+\\]|\\(\\d+\\))?\\s*[:："
            "]\\s*"),
        QRegularExpression::CaseInsensitiveOption);
    QString out = subject.simplified();
    for (;;) {
        const QRegularExpressionMatch m = prefix.match(out);
        if (!m.hasMatch())
            return out;
        out = out.mid(m.capturedLength());
    }
}

QList<Conversation> conversations(const QList<ThreadedMessage>& messages)
{
    std::vector<Node> nodes;
    QHash<QString, int> byId;
    const auto nodeOf = [&](const QString& id) {
        auto found = byId.constFind(id);
        if (found != byId.cend())
            return *found;
        nodes.emplace_back();
        return int(byId.insert(id, int(nodes.size() - 1)).value());
    };

    // Each message a place of its own: one held twice, or without an id, is alone in it.
    std::vector<int> placeOf(size_t(messages.size()));
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QString& id = messages[i].messageId;
        int n = -1;
        if (!id.isEmpty()) {
            n = nodeOf(id);
            if (nodes[size_t(n)].message >= 0)
                n = -1;
        }
        if (n < 0) {
            nodes.emplace_back();
            n = int(nodes.size() - 1);
        }
        nodes[size_t(n)].message = int(i);
        nodes[size_t(n)].when = dateOf(messages[i].date);
        placeOf[size_t(i)] = n;
    }

    for (qsizetype i = 0; i < messages.size(); ++i) {
        const ThreadedMessage& m = messages[i];
        QStringList chain = m.references.mid(std::max<qsizetype>(0, m.references.size() - kMostReferences));
        chain.removeAll(QString());
        if (chain.isEmpty() && !m.inReplyTo.isEmpty())
            chain << m.inReplyTo;
        // Each id under the one before it, unless placed already or it would close a loop.
        int before = -1;
        for (const QString& id : std::as_const(chain)) {
            const int n = nodeOf(id);
            if (before >= 0 && nodes[size_t(n)].parent < 0 && !above(nodes, n, before))
                nodes[size_t(n)].parent = before;
            before = n;
        }
        // The message under the last, whatever placed it before.
        const int self = placeOf[size_t(i)];
        if (before >= 0 && !above(nodes, self, before))
            nodes[size_t(self)].parent = before;
    }

    // A message that answers by its subject alone goes under the message that
    // began that subject; with none held, such answers share an empty place.
    QHash<QString, int> began;
    QHash<QString, std::vector<int>> answers;
    for (size_t n = 0; n < nodes.size(); ++n) {
        const Node& node = nodes[n];
        if (node.parent >= 0 || node.message < 0)
            continue;
        const ThreadedMessage& m = messages[node.message];
        const QString base = baseSubject(m.subject).toCaseFolded();
        if (base.isEmpty() || !m.inReplyTo.isEmpty() || !m.references.isEmpty())
            continue;
        if (!hasPrefix(m.subject)) {
            if (!began.contains(base) || node.when < nodes[size_t(began[base])].when)
                began[base] = int(n);
        } else {
            answers[base].push_back(int(n));
        }
    }
    for (auto a = answers.cbegin(); a != answers.cend(); ++a) {
        int top = began.value(a.key(), -1);
        if (top < 0 && a.value().size() > 1) {
            nodes.emplace_back();
            top = int(nodes.size() - 1);
        }
        for (int n : a.value())
            if (top >= 0)
                nodes[size_t(n)].parent = top;
    }

    // Answers in date order; an empty place dates from its first answer.
    for (size_t n = 0; n < nodes.size(); ++n) {
        if (nodes[n].parent >= 0)
            nodes[size_t(nodes[n].parent)].children.push_back(int(n));
        if (nodes[n].message < 0)
            continue;
        for (int up = nodes[n].parent; up >= 0 && nodes[size_t(up)].message < 0; up = nodes[size_t(up)].parent)
            nodes[size_t(up)].when = std::min(nodes[size_t(up)].when, nodes[n].when);
    }
    const auto earlier = [&](int a, int b) {
        return nodes[size_t(a)].when != nodes[size_t(b)].when ? nodes[size_t(a)].when < nodes[size_t(b)].when : a < b;
    };

    QList<Conversation> out;
    std::vector<qint64> newest;
    std::vector<int> first;  // the conversation's first message given, for equal dates
    for (size_t root = 0; root < nodes.size(); ++root) {
        if (nodes[root].parent >= 0)
            continue;
        // Depth first without recursion, as a thread may be thousands deep.
        Conversation c;
        qint64 latest = std::numeric_limits<qint64>::min();
        int earliestGiven = std::numeric_limits<int>::max();
        std::vector<std::pair<int, int>> stack{{int(root), 0}};
        while (!stack.empty()) {
            const auto [n, depth] = stack.back();
            stack.pop_back();
            Node& node = nodes[size_t(n)];
            std::sort(node.children.begin(), node.children.end(), earlier);
            if (node.message >= 0) {
                c.entries.append({node.message, depth});
                if (node.when >= latest) {
                    latest = node.when;
                    c.newest = node.message;
                }
                earliestGiven = std::min(earliestGiven, node.message);
            }
            const int below = node.message >= 0 ? depth + 1 : depth;
            for (size_t k = node.children.size(); k-- > 0;)  // the first answer on top
                stack.emplace_back(node.children[k], below);
        }
        if (c.entries.isEmpty())
            continue;
        out.append(c);
        newest.push_back(latest);
        first.push_back(earliestGiven);
    }

    std::vector<int> rank(size_t(out.size()));
    for (size_t i = 0; i < rank.size(); ++i)
        rank[i] = int(i);
    std::stable_sort(rank.begin(), rank.end(), [&](int a, int b) {
        return newest[size_t(a)] != newest[size_t(b)] ? newest[size_t(a)] > newest[size_t(b)]
                                                      : first[size_t(a)] < first[size_t(b)];
    });
    QList<Conversation> sorted;
    sorted.reserve(out.size());
    for (int i : rank)
        sorted.append(std::move(out[i]));
    return sorted;
}
