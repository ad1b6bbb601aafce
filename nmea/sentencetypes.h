#pragma once

#include <QString>
#include <QStringView>

// The list of sentence starts seen in the buffer: each distinct six-character candidate taken at
// a "$", once, in order of first occurrence, each followed by a line feed. A buffer that does not
// begin with "$" first contributes the empty candidate, which shows as a leading empty line.
// A candidate that is part of an entry already listed is not listed again.
QString sentenceTypeList(QStringView buffer);
