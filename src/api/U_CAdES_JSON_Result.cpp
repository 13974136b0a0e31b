#include "api/U_CAdES_JSON.h"

namespace nelvo {

const TMemberTable& TsftResultBase::TsftResultError::Table() {
    static const TMemberTable table{Field("code", &TsftResultError::code),
                                    Field("text", &TsftResultError::text)};
    return table;
}

const TMemberTable& TsftResultBase::Table() {
    static const TMemberTable table =
        TjsonPersistent::Table().Extend({ReadOnlyObject("error", &TsftResultBase::error)});
    return table;
}

const TMemberTable& TsftResult::Table() {
    static const TMemberTable table =
        TsftResultBase::Table().Extend({Field("data", &TsftResult::data)});
    return table;
}

std::string MakeTextResult(const std::string& text) {
    TsftResult result;
    result.data = text;
    return result.AsJSONString();
}

}  // namespace nelvo
