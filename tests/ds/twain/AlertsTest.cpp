// Alerts, error texts and condition codes of the open data source, and the long-page check.
#include <gmock/gmock.h>

#include <chrono>
#include <string>
#include <vector>

#include "OpenSupport.h"
#include "ds/twain/Options.h"

namespace {

using dstest::gSource;
using ui::headless::Journal;

// The shipped English texts the table expects.
constexpr const char* kErr2010 = "The scan was cancelled at the scanner.";
constexpr const char* kErr2015 = "No paper in the feeder. Please load the documents and try again.";
constexpr const char* kErr2999 =
    "An error occurred in the scanner. Please turn it off and on again.";
constexpr const char* kErr3201 = "The paper is loaded wrongly. Please load it again.";
constexpr const char* kErr3201Tez =
    "The paper is loaded wrongly. Please insert the sheet straight into the feeder.";
constexpr const char* kErr999 = "Can not find the device driver or power off or cable failure.";
constexpr const char* kNoPaper =
    "No documents are loaded in the scanner. Please try your scan again.";

class Alerts : public dstest::OpenSourceTest {};

TEST_F(Alerts, TheErrorsAsTheUserSeesThem) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  struct Case {
    std::string name;
    int64_t processingError, scannerError;
    bool manualFeeder;
    std::string message, details;
  };
  const std::vector<Case> cases = {
      {"cancelled at the scanner", -100, 0, false, "Error Code: 2010", kErr2010},
      {"a driver status", 0, -2015, false, "Error Code: 2015", kErr2015},
      {"an unknown code", 0, 4321, false, "Error Code: 4321", kErr2999},
      {"3201", 0, 3201, false, "Error Code: 3201", kErr3201},
      {"3201 on a manual-feeder model", 0, 3201, true, "Error Code: 3201", kErr3201Tez},
      {"the data source's own: no paper", -2, 0, false, kNoPaper, ""},
      {"another own code", -7, 0, false, "Please insert paper and try again.", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Journal::shared().reset();
    ds.processingError = c.processingError;
    ds.scanObject->setScannerError(c.scannerError);
    ds.sdUsbScanner = c.manualFeeder;
    EXPECT_EQ(ds.showAlert(std::nullopt), ferrolite::kAlertFirstButton);
    const auto shown = alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, c.message);
    EXPECT_EQ(shown[0].details, c.details);
    EXPECT_EQ(shown[0].style, ferrolite::kAlertStyleCritical);
    EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
    // The host's copy is the details, or the message of the data source's own errors.
    EXPECT_EQ(ds.scannerErrorText(), c.details.empty() ? c.message : c.details);
    if (c.processingError == -100) {
      EXPECT_EQ(ds.processingError, 0);
    }
  }
  // Nothing pending and no text: no alert.
  Journal::shared().reset();
  ds.processingError = 0;
  ds.scanObject->setScannerError(0);
  EXPECT_EQ(ds.showAlert(std::nullopt), 0);
  EXPECT_TRUE(alerts().empty());
  // A text of the caller's, with a second button the script answers.
  ds.showSecond = true;
  Journal::shared().scriptAlert(1, ui::headless::kCancelResponse);
  EXPECT_EQ(ds.showAlert(std::string("Initialization failed.")), ferrolite::kAlertSecondButton);
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_FALSE(ds.showSecond);
}

TEST_F(Alerts, ACommunicationErrorLooksForTheScanner) {
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ds.scanObject->setScannerError(2023);
  unplugAll();
  ds.showAlert(std::nullopt);
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].text, kErr999);
  scanner(0).Replug();
  scanner(1).Replug();
  Journal::shared().reset();
  const auto start = std::chrono::steady_clock::now();
  ds.showAlert(std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  ASSERT_EQ(alerts().size(), 1u);
  EXPECT_EQ(alerts()[0].text, "Error Code: 2023");
  ds.scanObject->setScannerError(0);
}

TEST_F(Alerts, TheHostsCopyOfTheMessageIsClearedAndEndsInZero) {
  // A long text for one code, a short one for another.
  writeText(bundle_ / "Resources" / "English.lproj" / "Localizable.strings",
            "\"Err2101\" = \"" + std::string(200, 'x') + "\";\n\"Err2102\" = \"short\";\n");
  Open();
  ferrolite::TezFRLDS& ds = *gSource;
  ds.scanObject->setScannerError(2101);
  ds.showAlert(std::nullopt);
  EXPECT_EQ(ds.scannerErrorText(), std::string(127, 'x'));
  EXPECT_EQ(ds.scannerErrorMsg[126], u'x');
  EXPECT_EQ(ds.scannerErrorMsg[127], u'\0');
  ds.scanObject->setScannerError(2102);
  ds.showAlert(std::nullopt);
  EXPECT_EQ(ds.scannerErrorText(), "short");
  for (size_t i = 5; i < std::size(ds.scannerErrorMsg); ++i)
    ASSERT_EQ(ds.scannerErrorMsg[i], 0) << i;
  ds.scanObject->setScannerError(0);
}

TEST_F(Alerts, ConditionCodesOfTheErrors) {
  Open();
  struct Case {
    int64_t code;
    uint16_t condition;
  };
  const std::vector<Case> cases = {
      {-2013, TWCC_PAPERJAM},        {2013, TWCC_PAPERJAM},       {103, TWCC_PAPERJAM},
      {-3101, TWCC_PAPERDOUBLEFEED}, {187, TWCC_PAPERDOUBLEFEED}, {-1, TWCC_LOWMEMORY},
      {-2015, TWCC_NOMEDIA},         {-2, TWCC_NOMEDIA},          {-2014, TWCC_INTERLOCK},
      {42, TWCC_SEQERROR},  // not mapped: the code stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ferrolite::gConditionCode = TWCC_SEQERROR;
    gSource->setConditionCode(c.code);
    EXPECT_EQ(ferrolite::gConditionCode, c.condition);
  }
}

TEST_F(Alerts, TheLongPageCheckOfTheTwoModels) {
  struct Case {
    std::string name;
    bool listed;
    uint8_t paperSize;
    uint16_t imageType, colourResolution;
    uint32_t longLength;
    int32_t result;
  };
  const std::vector<Case> cases = {
      {"a model not listed", false, 19, 0xFF, 600, 99999, 0},
      {"not long paper", true, 4, 0xFF, 600, 99999, 0},
      {"colour above 300 dpi", true, 19, 0x10, 400, 0, -1000},
      {"colour at 300 dpi", true, 19, 0x10, 300, 0, 0},
      {"two-sided, longer than half", true, 19, 0x02, 200, 0, -1000},
      {"two-sided, half", true, 19, 0x02, 200, 0, 0},
      {"one-sided long", true, 19, 0x01, 200, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ferrolite::ModelTable table = ferrolite::modelTable();
    table.longPageCheckModels = {0xF11E0999};
    if (c.listed) table.longPageCheckModels.push_back(ferrolite::kSupportedVidPid);
    ferrolite::replaceModelTable(&table);
    Open();
    ferrolite::TezFRLDS& ds = *gSource;
    Journal::shared().reset();
    ds.scanSetting.bPaperSize = c.paperSize;
    ds.scanSetting.wImageType = c.imageType;
    ds.scanSetting.wColorRes = c.colourResolution;
    ASSERT_GT(ds.maxLongLength, 0u);
    const bool longer = c.name.find("longer") != std::string::npos;
    ds.scanSetting.dwLongLength =
        c.longLength ? c.longLength : ds.maxLongLength / 2 + (longer ? 1 : 0);
    EXPECT_EQ(ds.checkScanParams(), c.result);
    EXPECT_EQ(alerts().size(), c.result == 0 ? 0u : 1u);
    ASSERT_TRUE(host.CloseSource().ok());
    ferrolite::replaceModelTable(nullptr);
  }
}

}  // namespace
