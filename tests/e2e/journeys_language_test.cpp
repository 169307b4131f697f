// With the German language library beside the program, what the user reads comes from it:
// the caption of every window, the buttons, the prompts and the messages.
#include "journey_steps.h"

#include "res/resource.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

namespace {

// The German texts in Windows-1252, as the language library holds them.
const char kGermanCaption[] = "Key-Formatierungsprogramm";
const ExpectedBox kGermanConfirmReformat{
    "Dieser Key ist bereits f\xFC" "r Veltrax-Anwendungen formatiert. \n              M\xF6" "chten Sie ihn neu "
    "formatieren?",
    {IDYES, IDNO}, true};
const ExpectedBox kGermanConfirmDataLoss{
    "Alle Daten Ihrer Veltrax-Anwendungen GEHEN VERLOREN.\nDaten anderer Anwendungen sind davon nicht "
    "betroffen. \n              M\xF6" "chten Sie fortfahren?",
    {IDYES, IDNO}, true};
const ExpectedBox kGermanConnect{
    "Bitte schlie\xDF" "en Sie Ihren Key an den Computer an und klicken Sie auf OK.", {IDOK, IDCANCEL}, false};
const ExpectedBox kGermanWrongSoPin{"Die eingegebene SO PIN ist falsch!", {IDOK}, true};
const ExpectedBox kGermanSuccess{"Der Vorgang wurde erfolgreich abgeschlossen.", {IDOK}, false};
const ExpectedBox kGermanPassPhraseBlocked{
    "Die Passphrase des Keys ist nach zu vielen Fehleingaben gesperrt. Der Key kann trotzdem formatiert werden: "
    "Klicken Sie erneut auf Formatieren und w\xE4" "hlen Sie \"Alle Daten des Keys l\xF6" "schen\". Dabei werden "
    "alle Daten vom Key gel\xF6" "scht.",
    {IDOK}, true};
const ExpectedBox kGermanNamedReaderMissing{
    "Das in der Befehlszeile genannte Leseger\xE4t \"Simulated Reader 9\" wurde nicht gefunden. Angeschlossene "
    "Leseger\xE4te: Simulated Reader 0. Der Name muss genau \xFC" "bereinstimmen, auch in Gro\xDF- und Kleinschreibung.",
    {IDOK}, true};

} // namespace

TEST(JourneyLanguage, GermanFormatWithAWrongSoPinFirst)
{
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.program.addGermanLanguage();
    journey.caption = kGermanCaption;
    journey.keyId = "Token1";
    journey.start();
    EXPECT_EQ("&Formatieren", journey.main.texts.at(IDC_MAIN_FORMAT));
    EXPECT_EQ("&Entformatieren", journey.main.texts.at(IDC_MAIN_UNFORMAT));
    EXPECT_EQ("Key-Formatierungsprogramm f\xFC" "r Tokens und Smartcards.", journey.main.texts.at(IDC_MAIN_DESCRIPTION));

    journey.press(IDC_MAIN_FORMAT);
    journey.box(kGermanConnect, IDOK);
    SeenWindow soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    EXPECT_EQ("Bitte geben Sie die SO PIN des Keys ein.", soPin.texts.at(IDC_SO_PIN_PROMPT));
    EXPECT_EQ("Alle Daten des Keys &l\xF6" "schen", soPin.texts.at(IDC_CLEAR_ALL));
    EXPECT_EQ("Abbrechen", soPin.texts.at(IDCANCEL));
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "13571357");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kGermanConfirmReformat, IDYES);
    journey.box(kGermanConfirmDataLoss, IDYES);
    journey.box(kGermanWrongSoPin, IDOK);

    soPin = journey.dialog(IDC_CLEAR_ALL, "SO PIN clear-all");
    ProgramDriver::type(soPin.window, IDC_SO_PIN_EDIT, "24682468");
    ProgramDriver::press(soPin.window, IDOK);
    journey.box(kGermanSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    EXPECT_EQ("10", journey.key("Tries"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyLanguage, GermanStageTitlesDuringASlowFormat)
{
    Journey journey(ProgramDriver::shippedKeySet("slow_operations"));
    journey.program.addGermanLanguage();
    journey.caption = kGermanCaption;
    journey.start("format \"Simulated Reader 0\"");
    journey.box(kGermanConfirmReformat, IDYES);
    journey.box(kGermanConfirmDataLoss, IDYES);

    EXPECT_TRUE(ProgramDriver::waitForTitle(journey.main.window, "Entformatieren . . ."))
        << WindowText(journey.main.window);
    EXPECT_TRUE(ProgramDriver::waitForTitle(journey.main.window, "Formatieren . . ."))
        << WindowText(journey.main.window);
    journey.box(kGermanSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("7000", journey.key("MakerArea"));
    journey.expectEveryReaderClosed();
}

TEST(JourneyLanguage, GermanMessageWhenTheNamedReaderIsMissing)
{
    Journey journey(ProgramDriver::shippedKeySet("default"));
    journey.program.addGermanLanguage();
    journey.caption = kGermanCaption;
    journey.start("unformat \"Simulated Reader 9\"");
    journey.box(kGermanNamedReaderMissing, IDOK);
    journey.closeIdleMainDialog(3);

    EXPECT_EQ(0, journey.program.logCount("InitReader"));
    journey.expectEveryReaderClosed();
}

// A language library that holds only the caption: every other text stays English, and none of
// its code runs.
TEST(JourneyLanguage, PartialLanguageLibraryOverridesOnlyWhatItHolds)
{
    Journey journey(ProgramDriver::shippedKeySet("type07_clear_all"));
    journey.program.addTestLanguage("lang_caption_only");
    journey.caption = "Test caption from the language library";
    journey.start();
    EXPECT_EQ("&Format", journey.main.texts.at(IDC_MAIN_FORMAT));

    journey.press(IDC_MAIN_UNFORMAT);
    journey.box(kConnect, IDOK);
    journey.box(kWarnDataDeleted, IDOK);
    journey.box(kSuccess, IDOK);
    journey.expectEndedByItself();

    EXPECT_EQ("0", journey.key("MakerArea"));
    journey.expectEveryReaderClosed();
    EXPECT_FALSE(Exists(journey.program.folder().file("keyprep_lang.dll.loaded")));
}

// A pass-phrase Key without tries left is not sent to support: the message says that
// "Clear all Key's data" still formats it, and doing so does.
TEST(JourneyLanguage, BlockedPassPhraseKeyIsToldToClearAll)
{
    const struct {
        bool german;
        const char* caption;
        const ExpectedBox& reformat;
        const ExpectedBox& dataLoss;
        const ExpectedBox& blocked;
        const ExpectedBox& success;
    } cases[] = {
        {false, kCaption, kConfirmReformat, kConfirmDataLoss, kPassPhraseBlocked, kSuccess},
        {true, kGermanCaption, kGermanConfirmReformat, kGermanConfirmDataLoss, kGermanPassPhraseBlocked,
         kGermanSuccess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.german ? "German" : "English");
        Journey journey(Replaced(ProgramDriver::shippedKeySet("type05_pass_phrase"), "Tries=5", "Tries=0"));
        if (c.german)
            journey.program.addGermanLanguage();
        journey.caption = c.caption;
        journey.start("format \"Simulated Reader 0\"");
        SeenWindow passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
        ProgramDriver::type(passPhrase.window, IDC_PASS_PHRASE_EDIT, "open sesame key");
        ProgramDriver::press(passPhrase.window, IDOK);
        journey.box(c.reformat, IDYES);
        journey.box(c.dataLoss, IDYES);
        journey.box(c.blocked, IDOK);

        journey.press(IDC_MAIN_FORMAT);
        passPhrase = journey.dialog(IDC_PASS_PHRASE_EDIT, "pass phrase");
        ProgramDriver::tick(passPhrase.window, IDC_CLEAR_ALL);
        ProgramDriver::press(passPhrase.window, IDOK);
        journey.box(c.success, IDOK);
        journey.expectEndedByItself();

        EXPECT_EQ("7000", journey.key("MakerArea"));
        EXPECT_EQ("", journey.key("OtherApps"));
        EXPECT_EQ(1, journey.program.logCount("FormatCard"));
        journey.expectEveryReaderClosed();
    }
}
