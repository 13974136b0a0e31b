// The records of the local web API. A successful result is always the envelope
//
//   { "error" : { "code" : 0, "text" : "success" }, <payload members> }
//
// whose member order and fixed texts the bank's pages parse. Failures do not use it: they are
// answered with the web service's error body.
#pragma once

#include <cstdint>
#include <string>

#include "api/U_PluginJSON.h"

namespace nelvo {

// Base of every result record: the envelope's "error" member, created with the record.
class TsftResultBase : public TjsonPersistent {
public:
    class TsftResultError : public TPersistent {
    public:
        std::int32_t code = 0;
        std::string text = "success";

        static const TMemberTable& Table();
        const TMemberTable& Members() const override { return Table(); }
    };

    TsftResultError error;

    static const TMemberTable& Table();
    const TMemberTable& Members() const override { return Table(); }
};
using TsftResultError = TsftResultBase::TsftResultError;

// A result that carries one value of type T; the concrete record publishes it.
template <class T>
class TsftResultData : public TsftResultBase {
public:
    T data{};
};

// A result with one text as "data".
class TsftResult : public TsftResultData<std::string> {
public:
    static const TMemberTable& Table();
    const TMemberTable& Members() const override { return Table(); }
};

// The JSON text of a TsftResult whose data is text.
std::string MakeTextResult(const std::string& text);

}  // namespace nelvo
