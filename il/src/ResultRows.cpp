#include <orx/il/ResultRows.h>

#include <cstdio>
#include <cstdlib>

namespace orx::il {

using Stats_1_bll::columnVal_t;

namespace {

columnVal_t KindOf(const SqlResult& result, size_t column) {
    SqlValue::Kind kind = SqlValue::Null;
    for (const auto& row : result.rows) {
        if (row[column].kind != SqlValue::Null) {
            kind = row[column].kind;
            break;
        }
    }
    if (kind == SqlValue::Null && column < result.declared.size())
        kind = result.declared[column];
    switch (kind) {
        case SqlValue::Integer:
            return columnVal_t::INT64;
        case SqlValue::Real:
            return columnVal_t::DOUBLE;
        case SqlValue::Text:
            return columnVal_t::STRING;
        case SqlValue::Blob:
            return columnVal_t::BINARY;
        case SqlValue::Null:
            break;
    }
    return columnVal_t::NULL_VALUE;
}

int64_t AsInteger(const SqlValue& v) {
    switch (v.kind) {
        case SqlValue::Integer:
            return v.integer;
        case SqlValue::Real:
            return static_cast<int64_t>(v.real);
        case SqlValue::Text:
            return std::strtoll(v.text.c_str(), nullptr, 10);
        default:
            return 0;
    }
}

std::string AsText(const SqlValue& v) {
    char buffer[32];
    switch (v.kind) {
        case SqlValue::Integer:
            return std::to_string(v.integer);
        case SqlValue::Real:
            std::snprintf(buffer, sizeof buffer, "%.17g", v.real);
            return buffer;
        case SqlValue::Text:
            return v.text;
        case SqlValue::Blob:
            return std::string(v.blob.begin(), v.blob.end());
        default:
            return "";
    }
}

Tm_binary AsBinary(const SqlValue& v) {
    if (v.kind == SqlValue::Blob)
        return Tm_binary(v.blob);
    std::string text = AsText(v);
    return Tm_binary(text.data(), text.size());
}

// Column kinds and value positions, the part both forms share.
std::vector<Stats_1_bll::columnDesc_s> ColumnOrder(const SqlResult& result) {
    std::vector<Stats_1_bll::columnDesc_s> order;
    uint32_t ints = 0, strings = 0, binaries = 0;
    for (size_t c = 0; c < result.columns.size(); ++c) {
        columnVal_t kind = KindOf(result, c);
        uint32_t index = 0;
        if (kind == columnVal_t::INT64)
            index = ints++;
        if (kind == columnVal_t::STRING || kind == columnVal_t::DOUBLE)
            index = strings++;
        if (kind == columnVal_t::BINARY)
            index = binaries++;
        order.push_back({kind, index});
    }
    return order;
}

template <class Row>
Row MakeRow(const std::vector<Stats_1_bll::columnDesc_s>& order, const std::vector<SqlValue>& in) {
    Row row;
    for (size_t c = 0; c < order.size(); ++c) {
        switch (order[c].valType) {
            case columnVal_t::INT64:
                row.int64Values.push_back(AsInteger(in[c]));
                break;
            case columnVal_t::STRING:
            case columnVal_t::DOUBLE:
                row.stringValues.push_back(AsText(in[c]));
                break;
            case columnVal_t::BINARY:
                row.binaryValues.push_back(AsBinary(in[c]));
                break;
            default:
                break;
        }
    }
    return row;
}

}  // namespace

Stats_1_bll::commandResultFaster_s ToCompactResult(const SqlResult& result) {
    Stats_1_bll::commandResultFaster_s out;
    out.columnOrder = ColumnOrder(result);
    for (const auto& row : result.rows) {
        out.rows.push_back(MakeRow<Stats_1_bll::rowFaster_s>(out.columnOrder, row));
    }
    return out;
}

Stats_1_bll::commandResult_s ToFullResult(const SqlResult& result) {
    Stats_1_bll::commandResult_s out;
    out.columnOrder = ColumnOrder(result);
    for (const auto& row : result.rows) {
        out.rows.push_back(MakeRow<Stats_1_bll::row_s>(out.columnOrder, row));
    }
    return out;
}

}  // namespace orx::il
