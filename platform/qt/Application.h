// TApplication: the program object of a form-based program: its title, its
// help file and the display of errors that escape a handler. A help file is
// shown from a text that the program registers for its name, so each
// program carries its own help.
#pragma once

#include <exception>
#include <map>
#include <string>

class QWidget;

class TApplication {
public:
    static TApplication& Instance();

    void SetTitle(const std::string& Title);
    const std::string& GetTitle() const { return FTitle; }
    void SetHelpFile(const std::string& HelpFile) { FHelpFile = HelpFile; }
    const std::string& GetHelpFile() const { return FHelpFile; }

    void RegisterHelpText(const std::string& HelpFile, const std::string& Text);
    // Command 3 (contents) shows the help file's text; returns false when
    // no text is registered for the help file.
    bool HelpCommand(int Command, long Data, QWidget* Parent = nullptr);
    std::string HelpTextOf(const std::string& HelpFile) const;

    // The standard display of an error that escaped a handler.
    void ShowException(const std::exception& Error, QWidget* Parent = nullptr);

    static constexpr int HELP_CONTENTS = 3;

private:
    std::string FTitle;
    std::string FHelpFile;
    std::map<std::string, std::string> FHelpTexts;
};
