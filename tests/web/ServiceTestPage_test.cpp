// The test page: served to any page as the embedded bytes, and its content checked against the
// route table and the request records, so that a renamed route, a lost group or a sample body
// the API would refuse shows up here rather than in a developer's browser.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "ServiceTestSupport.h"
#include "api/U_PluginJSON.h"
#include "platform/Resources.h"

namespace nelvo::test {
namespace {

std::string ReadSourceFile(const std::string& relative) {
    const char* root = std::getenv("NELVO_TEST_SOURCE_DIR");
    std::ifstream in(std::string(root ? root : ".") + "/" + relative, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(Resources, TheTestPageIsEmbeddedByteForByteAndNamesAreExact) {
    const std::string file = ReadSourceFile("resources/test_cades_com.html");
    ASSERT_FALSE(file.empty());
    const auto page = platform::FindRawResource("TEST_CADES_COM");
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(*page, file);
    EXPECT_EQ(RawResource(TestPageResourceName), file);

    EXPECT_FALSE(platform::FindRawResource("test_cades_com").has_value());
    EXPECT_FALSE(platform::FindRawResource("").has_value());
    EXPECT_THROW(RawResource("NO_SUCH_RESOURCE"), EResourceNotFound);
}

TEST_F(ServiceTest, TheTestPageIsServedToAnyPageWithoutItsTextInTheLog) {
    const std::string page(RawResource(TestPageResourceName));
    for (const char* origin : {TrustedPage, UntrustedPage, ""}) {
        const TReply reply = Request("GET", "/test/CAdES_COM", origin);
        EXPECT_EQ(reply.Status, 200) << origin;
        EXPECT_EQ(reply.Body, page) << origin;
        // The handler's own line and the common one.
        EXPECT_EQ(reply.CountHeader("Content-Type: text/html; charset=utf-8"), 2) << origin;
        EXPECT_FALSE(reply.HasHeaderStarting("Access-Control-")) << origin;
        EXPECT_FALSE(reply.HasHeaderStarting("Origin: ")) << origin;
        EXPECT_FALSE(reply.HasHeaderStarting("Host: ")) << origin;
    }
    EXPECT_EQ(DetailOf("Reply [GET]: WriteBuffer done."), "");
}

// --- the page's content ------------------------------------------------------------------------

class TestPageContent : public ::testing::Test {
protected:
    const std::string Page{RawResource(TestPageResourceName)};

    // The text of every element with this tag, in order.
    std::vector<std::string> Elements(const std::string& tag) const {
        std::vector<std::string> texts;
        const std::regex element("<" + tag + "[^>]*>([^<]*)</" + tag + ">");
        for (auto it = std::sregex_iterator(Page.begin(), Page.end(), element);
             it != std::sregex_iterator(); ++it)
            texts.push_back((*it)[1]);
        return texts;
    }
};

TEST_F(TestPageContent, IsUtf8WithAByteOrderMarkAndItsTitle) {
    ASSERT_GE(Page.size(), 3u);
    EXPECT_EQ(Page.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(Elements("title"), std::vector<std::string>{"Тест CAdES_COM [ЗРБ]"});
    EXPECT_NE(Page.find(R"(var baseAddress = "https://nelvo-plugin.localhost:11742";)"),
              std::string::npos);
    EXPECT_EQ(std::string(ServiceHostName), "nelvo-plugin.localhost");
    EXPECT_EQ(DefaultHttpsPort, 11742);
    // The request goes out as text/plain, so a browser sends it without a preflight.
    EXPECT_NE(Page.find(R"(setRequestHeader("Content-Type", "text/plain"))"), std::string::npos);
    // Nothing is loaded from elsewhere.
    for (const char* outside : {"src=", "href=", "<link", "@import", "url("})
        EXPECT_EQ(Page.find(outside), std::string::npos) << outside;
}

TEST_F(TestPageContent, EveryGroupInTableOrderWithAButtonPerRoute) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> groups = {
        {"Получение номера версии API v1", {"GET /api/v1/version", "GET /sapi/v1/version"}},
        {"Получение номера версии DuzedeRezozi",
         {"GET /api/v1/version/service", "GET /sapi/v1/version/service"}},
        {"Остановка сервиса", {"POST /sapi/v1/stop"}},
        {"Получение списка контейнеров ключей, зарегистрированных в ДБО ZOV",
         {"POST /api/v1/keycontainers/rir"}},
        {"Получение информации о системе, необходимой для антифрода",
         {"POST /api/v1/systeminfo"}},
        {"Инициализация ключевого контейнера и подпись аутентификационной информации",
         {"POST /api/v1/initkey"}},
        {"Получение информации об используемом сертификате", {"POST /api/v1/certinfo"}},
        {"Инициализация ключевого контейнера и подпись данных", {"POST /api/v1/signpreinit"}},
        {"Подпись данных", {"POST /api/v1/sign"}},
        {"Проверка подписи", {"POST /api/v1/check"}},
        {"Получение списка сертификатов, удовлетворяющих критериям отбора",
         {"POST /api/v1/findcertificates"}},
        {"Генерация ключевой пары и запроса на сертификат", {"POST /api/v1/generatekey"}},
    };
    std::vector<std::string> captions;
    for (const auto& group : groups) captions.push_back(group.first);
    EXPECT_EQ(Elements("legend"), captions);

    const std::vector<std::string> fieldsets = [this] {
        std::vector<std::string> parts;
        for (std::size_t at = Page.find("<fieldset>"); at != std::string::npos;) {
            const std::size_t end = Page.find("</fieldset>", at);
            parts.push_back(Page.substr(at, end - at));
            at = Page.find("<fieldset>", end);
        }
        return parts;
    }();
    ASSERT_EQ(fieldsets.size(), groups.size());
    // Each button sends its own route: the label and the call must agree.
    const std::regex button(
        R"re(<button type="button" onclick="sendRequest\('(\w+)', '([^']+)'(?:, '(\w+)')?\)">([^<]*)</button>)re");
    for (std::size_t i = 0; i < groups.size(); ++i) {
        std::vector<std::string> routes;
        for (auto it = std::sregex_iterator(fieldsets[i].begin(), fieldsets[i].end(), button);
             it != std::sregex_iterator(); ++it) {
            const std::string route = (*it)[1].str() + " " + (*it)[2].str();
            EXPECT_EQ((*it)[4].str(), route);
            routes.push_back(route);
            // A button that names a text area finds it in its own group.
            if ((*it)[3].matched)
                EXPECT_NE(fieldsets[i].find("<textarea id=\"" + (*it)[3].str() + "\""),
                          std::string::npos)
                    << route;
            else
                EXPECT_EQ(fieldsets[i].find("<textarea"), std::string::npos) << route;
        }
        EXPECT_EQ(routes, groups[i].second) << groups[i].first;
    }
}

// The top-level members of the request records and those the API requires; a sample body with
// a member of another name, or without a required one, would be refused with 400.
TEST_F(TestPageContent, SampleBodiesAreJsonThatTheRequestRecordsAccept) {
    struct TRecordShape {
        std::set<std::string> members;
        std::set<std::string> required;
    };
    const std::map<std::string, TRecordShape> records = {
        {"systeminfo", {{"ipAddress"}, {}}},
        {"initkey",
         {{"providerInfo", "X509data", "containerInfo", "signType", "authData"}, {"X509data"}}},
        {"certinfo", {{"keySessID"}, {}}},
        {"signpreinit", {{"keyInfo", "signType", "data"}, {"keyInfo", "data"}}},
        {"sign", {{"keySessID", "signType", "data"}, {"keySessID", "data"}}},
        {"check",
         {{"providerInfo", "certificate", "data", "CRLs", "certificatesCA", "signedData",
           "checkFlags"},
          {"providerInfo", "certificate", "data", "signedData"}}},
        {"findcertificates",
         {{"providerInfo", "issuersSKI", "cipfName", "cipfClass", "certificates", "findFlags"},
          {"certificates"}}},
        {"generatekey",
         {{"subject", "keyAlg", "keyLength", "containerName", "cryptoProvider", "keyUsageOIDs",
           "keyUsageTypes", "exportableKey", "certificateTemplate"},
          {"subject", "keyAlg", "keyLength", "cryptoProvider", "keyUsageTypes"}}},
    };
    const std::regex area(R"re(<textarea id="(\w+)"[^>]*>([^<]*)</textarea>)re");
    std::set<std::string> seen;
    for (auto it = std::sregex_iterator(Page.begin(), Page.end(), area);
         it != std::sregex_iterator(); ++it) {
        const std::string id = (*it)[1];
        seen.insert(id);
        ASSERT_TRUE(records.count(id)) << id;
        TJSONData body;
        ASSERT_NO_THROW(body = ParseJSON((*it)[2].str())) << id;
        ASSERT_TRUE(body.is_object()) << id;
        std::set<std::string> names;
        for (const auto& member : body.items()) names.insert(member.key());
        for (const std::string& name : names)
            EXPECT_TRUE(records.at(id).members.count(name)) << id << ": " << name;
        for (const std::string& name : records.at(id).required)
            EXPECT_TRUE(names.count(name)) << id << " lacks " << name;
    }
    EXPECT_EQ(seen.size(), records.size());
}

}  // namespace
}  // namespace nelvo::test
