#include "support/dialog_template.h"

namespace {

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : start_(data), p_(data) {}

    WORD word() { return take<WORD>(); }
    DWORD dword() { return take<DWORD>(); }
    short coordinate() { return static_cast<short>(take<WORD>()); }
    void alignToDword()
    {
        while ((p_ - start_) % 4)
            ++p_;
    }
    void skip(size_t bytes) { p_ += bytes; }

    std::string text()
    {
        std::string result;
        for (WORD c; (c = word()) != 0;)
            result += static_cast<char>(c < 0x100 ? c : '?');
        return result;
    }

    // A name or an ordinal: 0 = none, 0xFFFF + ordinal, or a text.
    std::string nameOrOrdinal()
    {
        const WORD first = take<WORD>(false);
        if (first == 0) {
            word();
            return "";
        }
        if (first == 0xFFFF) {
            word();
            std::string ordinal(1, '#');
            ordinal.append(std::to_string(word()));
            return ordinal;
        }
        return text();
    }

private:
    template <typename T>
    T take(bool advance = true)
    {
        T value;
        memcpy(&value, p_, sizeof value);
        if (advance)
            p_ += sizeof value;
        return value;
    }

    const BYTE* start_;
    const BYTE* p_;
};

// The predefined classes, whether the template names them by ordinal or by text.
std::string PredefinedClass(const std::string& name)
{
    static const char* const names[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    for (int i = 0; i < 6; ++i)
        if (name == "#" + std::to_string(128 + i) || _stricmp(name.c_str(), names[i]) == 0)
            return names[i];
    return name;
}

TemplateControl ReadControl(TemplateReader& in, bool extended)
{
    TemplateControl control;
    in.alignToDword();
    if (extended) {
        in.dword(); // help ID
        in.dword(); // extended style
        control.style = in.dword();
    } else {
        control.style = in.dword();
        in.dword();
    }
    control.x = in.coordinate();
    control.y = in.coordinate();
    control.cx = in.coordinate();
    control.cy = in.coordinate();
    control.id = extended ? static_cast<int>(in.dword()) : static_cast<short>(in.word());
    control.className = PredefinedClass(in.nameOrOrdinal());
    control.text = in.nameOrOrdinal();
    in.skip(in.word());
    return control;
}

} // namespace

DialogTemplate ReadDialogTemplate(HMODULE module, int id)
{
    DialogTemplate dialog;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (data == nullptr)
        return dialog;
    dialog.found = true;

    TemplateReader in(data);
    WORD count;
    dialog.extended = reinterpret_cast<const WORD*>(data)[1] == 0xFFFF;
    if (dialog.extended) {
        in.word();
        in.word();
        in.dword(); // help ID
        dialog.exStyle = in.dword();
        dialog.style = in.dword();
    } else {
        dialog.style = in.dword();
        dialog.exStyle = in.dword();
    }
    count = in.word();
    dialog.x = in.coordinate();
    dialog.y = in.coordinate();
    dialog.cx = in.coordinate();
    dialog.cy = in.coordinate();
    in.nameOrOrdinal(); // menu
    in.nameOrOrdinal(); // class
    dialog.title = in.text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = in.word();
        if (dialog.extended) {
            in.word(); // weight
            in.skip(2); // italic, character set
        }
        dialog.font = in.text();
    }
    for (WORD i = 0; i < count; ++i)
        dialog.controls.push_back(ReadControl(in, dialog.extended));
    return dialog;
}
