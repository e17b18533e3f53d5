#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/field_registry.h"
#include "link/gbk.h"
#include "link/state_json.h"
#include "report_text.h"

namespace quorvel {
namespace {

// Brackets balance outside strings, and no raw control character sits inside one.
bool wellNested(std::string_view t) {
    std::string stack;
    bool inString = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (inString) {
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            stack.push_back(c == '{' ? '}' : ']');
        } else if (c == '}' || c == ']') {
            if (stack.empty() || stack.back() != c) return false;
            stack.pop_back();
        }
    }
    return stack.empty() && !inString;
}

// Every registry field gets its own value; each must appear once, under its own key, in registry
// order (which is index order), so a field printed in a neighbour's place cannot pass.
TEST(StateJson, EveryRegistryFieldOnceUnderItsKeyInOrder) {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s, 1);
    const auto& fields = FieldRegistry::instance().fields();
    for (std::size_t n = 0; n < fields.size(); ++n)
        if (fields[n].kind == FieldKind::Int32)
            FieldRegistry::set(*s, fields[n], 700000 + static_cast<int>(n));
    setName(s->in(1).name, *utf8ToGbk("\xE8\xAF\x9D\xE7\xAD\x92 \"1\"\\")); // 话筒 "1"\ .
    setName(s->in(2).name, std::string("A\x01\tB", 4));
    setName(s->deviceText, "\xFF\xFE"); // not GBK

    const std::string text = stateToJson(*s);
    ASSERT_TRUE(wellNested(text));
    EXPECT_EQ(text.rfind("{\"input\":[{\"peq\":[{\"bandFreq\":", 0), 0u);
    std::size_t last = 0;
    for (std::size_t n = 0; n < fields.size(); ++n) {
        if (fields[n].kind != FieldKind::Int32) continue;
        const std::string& path = fields[n].path;
        const std::string leaf = path.substr(path.find_last_of('.') + 1);
        const std::string key = leaf.find('[') == std::string::npos ? "\"" + leaf + "\":" : "";
        const std::string value = std::to_string(700000 + n);
        const std::size_t at = text.find(value);
        ASSERT_NE(at, std::string::npos) << path;
        EXPECT_EQ(text.find(value, at + 1), std::string::npos) << path;
        EXPECT_GT(at, last) << path;
        if (!key.empty()) {
            EXPECT_EQ(text.compare(at - key.size(), key.size(), key), 0) << path;
        }
        last = at;
    }
    EXPECT_NE(text.find("\"name\":\"\xE8\xAF\x9D\xE7\xAD\x92 \\\"1\\\"\\\\\""), std::string::npos);
    EXPECT_NE(text.find("\"name\":\"A\\u0001\\u0009B\""), std::string::npos);
    EXPECT_NE(text.find("\"deviceText\":\"\xEF\xBF\xBD\xEF\xBF\xBD\""), std::string::npos);
}

TEST(StateJson, ReportLines) {
    auto s = std::make_unique<DeviceState>();
    loadFactoryDefaults(*s, 1);
    ReportDispatcher d(*s);
    std::vector<int> v(22, 30);
    v[0] = 12;
    v[20] = 0b101;
    const std::string q = test::statusReport(v);
    EXPECT_EQ(reportToJson(q, d.dispatch(q, Clock::now()), *s),
              "{\"report\":\"Q\",\"meters\":{\"input\":[12,30,30,30,30,30,30,30,30,30,30,30],"
              "\"output\":[30,30,30,30,30,30,30,30]},\"channelOpen\":[1,0,1,0,0,0,0,0],"
              "\"lastOpen\":[0,0,0,0,0,0,0,0],\"channelOpenChanged\":5}");
    const std::string odd = test::report('k', {"\x7f\xC3\"x"});
    const std::string line = reportToJson(odd, d.dispatch(odd, Clock::now()), *s);
    EXPECT_TRUE(wellNested(line));
    EXPECT_NE(line.find("\"ignored\":true,\"frame\":\"%k,01,\\u007f\\u00c3\\\"x,"), std::string::npos);
}

} // namespace
} // namespace quorvel
