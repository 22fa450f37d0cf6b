#pragma once
// Runs the desktop's opener for a web or mail address and learns whether it took the address:
// an opener that started is not one that opened anything (with no browser it exits non-zero).
#include <QString>
#include <QStringList>

#include <functional>

// How long the opener may run before it counts as having opened the address: some stay until
// the browser they started ends.
inline constexpr int OpenerBoundMs = 5000;

// Starts program with arguments and returns at once; done runs once from the event loop: true
// when the program ended with exit code 0 or still runs after boundMs, false when it could not
// start, crashed or failed. The program is left running past the bound.
void RunOpener(const QString& program, const QStringList& arguments, int boundMs,
               std::function<void(bool opened)> done);
