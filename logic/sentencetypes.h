#pragma once

#include <QString>
#include <QStringView>

// The list of sentence starts seen in the buffer: each distinct six-character candidate taken at
// a "$", once, in order of first occurrence, each followed by a line feed. A buffer that does not
// begin with "$" first contributes the empty candidate, which shows as a leading empty line.
// A candidate found anywhere in the list text so far (inside an entry, or across the line feed
// between two) is not listed again. The time taken grows with the buffer's length only.
QString sentenceTypeList(QStringView buffer);
