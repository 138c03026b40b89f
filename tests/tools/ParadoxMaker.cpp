#include "tests/tools/ParadoxMaker.h"

#include "base/Cp1251.h"

#include <gtest/gtest.h>
#include <stdexcept>

extern "C" {
#include <paradox.h>
}

namespace talmar::test {

std::vector<TPxField> FieldsOf(const TTableDef& def) {
    std::vector<TPxField> out;
    for (const TFieldDef& f : def.fields) {
        if (f.calculated)
            continue;
        switch (f.type) {
        case TFieldType::Integer:
            out.push_back({f.name, pxfLong, 4});
            break;
        case TFieldType::Smallint:
            out.push_back({f.name, pxfShort, 2});
            break;
        case TFieldType::Float:
            out.push_back({f.name, pxfNumber, 8});
            break;
        case TFieldType::Alpha:
            out.push_back({f.name, pxfAlpha, f.size});
            break;
        case TFieldType::Boolean:
            out.push_back({f.name, pxfLogical, 1});
            break;
        case TFieldType::Memo:
            out.push_back({f.name, pxfMemoBLOb, 240});
            break;
        case TFieldType::Other:
            throw std::logic_error("no Paradox type for " + f.name);
        }
    }
    return out;
}

void WriteParadox(const std::string& dbPath, const std::string& mbPath, const std::vector<TPxField>& fields,
                  const std::vector<std::vector<TValue>>& records) {
    pxdoc_t* doc = PX_new();
    ASSERT_TRUE(doc);
    // pxlib takes the field array and its names over and frees them with the document.
    auto* pf = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "fields"));
    bool memo = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        pf[i].px_fname = PX_strdup(doc, Utf8ToCp1251(fields[i].name).c_str());
        pf[i].px_ftype = static_cast<char>(fields[i].type);
        pf[i].px_flen = fields[i].type == pxfMemoBLOb ? fields[i].size + 10 : fields[i].size;
        pf[i].px_fdc = 0;
        memo = memo || fields[i].type == pxfMemoBLOb;
    }
    ASSERT_EQ(PX_create_file(doc, pf, static_cast<int>(fields.size()), dbPath.c_str(), pxfFileTypNonIndexDB),
              0)
        << dbPath;
    // The code page is taken only this way.
    PX_set_value(doc, "codepage", 1251);
    if (memo) {
        ASSERT_GE(PX_set_blob_file(doc, mbPath.c_str()), 0) << mbPath;
    }
    const int size = PX_get_recordsize(doc);
    for (const std::vector<TValue>& rec : records) {
        ASSERT_EQ(rec.size(), fields.size());
        std::vector<char> buf(static_cast<std::size_t>(size), 0);
        char* p = buf.data();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const TValue& v = rec[i];
            const int len = static_cast<int>(pf[i].px_flen);
            if (!v.IsNull()) {
                switch (fields[i].type) {
                case pxfLong:
                    PX_put_data_long(doc, p, len, static_cast<int>(v.AsInteger()));
                    break;
                case pxfShort:
                    PX_put_data_short(doc, p, len, static_cast<short>(v.AsInteger()));
                    break;
                case pxfNumber:
                    PX_put_data_double(doc, p, len, v.AsFloat());
                    break;
                case pxfLogical:
                    PX_put_data_byte(doc, p, len, v.AsBoolean() ? 1 : 0);
                    break;
                case pxfAlpha: {
                    // pxlib's own conversion drops text that comes out too long: convert here.
                    std::string text = Utf8ToCp1251(v.AsString());
                    PX_put_data_alpha(doc, p, len, text.data());
                    break;
                }
                case pxfMemoBLOb: {
                    std::string text = Utf8ToCp1251(v.AsString());
                    ASSERT_GE(PX_put_data_blob(doc, p, len, text.data(), static_cast<int>(text.size())), 0);
                    break;
                }
                default:
                    FAIL() << "type " << fields[i].type;
                }
            }
            p += len;
        }
        ASSERT_GE(PX_put_record(doc, buf.data()), 0);
    }
    PX_close(doc);
    PX_delete(doc);
}

} // namespace talmar::test
