#pragma once

#include <QHostInfo>

#include <functional>
#include <optional>

class QObject;

// Looking a host name up, through the system's resolver unless a test has said what the answers
// are: a test of an unknown or slow name must not send a query off the machine.
namespace HostLookup {

using Done = std::function<void(const QHostInfo &info)>;
// The answer for a name, or nothing to ask the system.
using Answers = std::function<std::optional<QHostInfo>(const QString &name)>;

// Starts looking the name up; the result reaches `done` later on the receiver's thread, never
// before this returns, with the lookup id returned here.
int start(const QString &name, QObject *receiver, Done done);

// For tests: answers given before the system is asked, from any thread; empty to stop.
void setAnswers(Answers answers);

} // namespace HostLookup
