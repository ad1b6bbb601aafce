#pragma once

#include <QString>

// The port lists, by what they set.
enum class PortSetting { Name, BaudRate, DataBits, Parity, StopBits };

// Why activating a port failed, as far as the program can tell.
struct PortFailure {
    enum class Cause {
        None,           // it did not fail
        NotANumber,     // the list of `setting` held `value`, which is no whole number
        EmptyName,      // no port name at all
        NotFound,       // no `device` of that name
        NoPermission,   // `device` is closed to this user; `group` may use it (empty: unknown)
        Busy,           // another program holds `device`
        HeldByInput,    // the input port has `device` open
        HeldByOutput,   // the output port has `device` open
        NotSerial,      // `device` is there but takes no line settings at all
        OutOfRange,     // `value` of `setting` is nothing any line can do
        SettingRefused, // `device` does not take `value` of `setting`
        BadAddress,     // `device` starts like a network address but is none this port can use
        Other,          // `device` failed with the system's own `systemText`
    };

    // Each member has its initializer, so that a designated initializer may name only some.
    Cause cause = Cause::None;
    QString device{};
    PortSetting setting = PortSetting::Name;
    QString value{};
    QString group{};
    QString systemText{};
};

// The German line under "falsche Porteinstellung" that tells the user what to change; empty for
// Cause::None. Lists are named by their captions on the main window.
QString portFailureDetail(const PortFailure &failure);
