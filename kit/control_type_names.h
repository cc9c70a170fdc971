// Localized control type names, as `dump` prints them in the player's Windows
// display language, and the control type id each stands for. Only page.cpp
// includes this (the table is data, so the parser stays one file to build).
// Every row of a language comes from the public source named above it; a
// language or type without one stays out, and its names are reported as
// unknown rather than guessed.
#pragma once

struct ControlTypeName {
    const wchar_t* name;  // lower case
    int control_type;
};

// English first: control_type_english takes the first name of each id.
inline const ControlTypeName CONTROL_TYPE_NAMES[] = {
    {L"button", 50000}, {L"calendar", 50001}, {L"check box", 50002}, {L"combo box", 50003},
    {L"edit", 50004}, {L"hyperlink", 50005}, {L"image", 50006}, {L"list item", 50007},
    {L"list", 50008}, {L"menu", 50009}, {L"menu bar", 50010}, {L"menu item", 50011},
    {L"progress bar", 50012}, {L"radio button", 50013}, {L"scroll bar", 50014}, {L"slider", 50015},
    {L"spinner", 50016}, {L"status bar", 50017}, {L"tab", 50018}, {L"tab item", 50019},
    {L"text", 50020}, {L"tool bar", 50021}, {L"tool tip", 50022}, {L"tree", 50023},
    {L"tree item", 50024}, {L"custom", 50025}, {L"group", 50026}, {L"thumb", 50027},
    {L"data grid", 50028}, {L"data item", 50029}, {L"document", 50030}, {L"split button", 50031},
    {L"window", 50032}, {L"pane", 50033}, {L"header", 50034}, {L"header item", 50035},
    {L"table", 50036}, {L"title bar", 50037}, {L"separator", 50038},
    // Other spellings Windows uses.
    {L"link", 50005}, {L"toolbar", 50021}, {L"tooltip", 50022}, {L"dialog", 50032},
    // German
    {L"schaltfl\u00e4che", 50000}, {L"gruppe", 50026}, {L"dokument", 50030}, {L"bereich", 50033},
    {L"fenster", 50032}, {L"registerkartenelement", 50019}, {L"registerkarte", 50018},
    {L"listenelement", 50007}, {L"liste", 50008}, {L"bild", 50006}, {L"bearbeiten", 50004},
    {L"kontrollk\u00e4stchen", 50002}, {L"optionsfeld", 50013}, {L"kombinationsfeld", 50003},
    {L"men\u00fcelement", 50011}, {L"benutzerdefiniert", 50025},
    // French
    {L"bouton", 50000}, {L"texte", 50020}, {L"groupe", 50026}, {L"volet", 50033},
    {L"fen\u00eatre", 50032}, {L"\u00e9l\u00e9ment d'onglet", 50019}, {L"onglet", 50018},
    {L"\u00e9l\u00e9ment de liste", 50007}, {L"liste", 50008}, {L"lien", 50005},
    {L"modifier", 50004}, {L"case \u00e0 cocher", 50002}, {L"case d'option", 50013},
    {L"zone de liste d\u00e9roulante", 50003}, {L"\u00e9l\u00e9ment de menu", 50011},
    {L"personnalis\u00e9", 50025},
    // Spanish
    {L"bot\u00f3n", 50000}, {L"texto", 50020}, {L"grupo", 50026}, {L"documento", 50030},
    {L"panel", 50033}, {L"ventana", 50032}, {L"elemento de pesta\u00f1a", 50019},
    {L"pesta\u00f1a", 50018}, {L"elemento de lista", 50007}, {L"lista", 50008},
    {L"imagen", 50006}, {L"hiperv\u00ednculo", 50005}, {L"v\u00ednculo", 50005}, {L"editar", 50004},
    {L"casilla", 50002}, {L"casilla de verificaci\u00f3n", 50002}, {L"bot\u00f3n de opci\u00f3n", 50013},
    {L"bot\u00f3n de radio", 50013}, {L"cuadro combinado", 50003}, {L"elemento de men\u00fa", 50011},
    {L"personalizado", 50025},
    // Japanese. "ボタン": Microsoft Learn, ja-jp, AutomationElement.
    // AutomationElementInformation.LocalizedControlType ("\"ボタン\" など").
    // "リスト項目": Microsoft's ja-jp .NET docs, "UI Automation Support for the
    // ListItem Control Type" (LocalizedControlTypeProperty). The others: UI
    // Automation scripts for Japanese Windows on GitHub that compare
    // LocalizedControlType with these words ("タブ項目" in two of them; "一覧項目"
    // is how one of them spells list item).
    {L"\u30DC\u30BF\u30F3", 50000},                          // ボタン
    {L"\u30BF\u30D6\u9805\u76EE", 50019},                    // タブ項目
    {L"\u30EA\u30B9\u30C8\u9805\u76EE", 50007},              // リスト項目
    {L"\u4E00\u89A7\u9805\u76EE", 50007},                    // 一覧項目
    {L"\u4E00\u89A7", 50008},                                // 一覧
    {L"\u7DE8\u96C6", 50004},                                // 編集
    {L"\u30A6\u30A3\u30F3\u30C9\u30A6", 50032},              // ウィンドウ
    {L"\u30C0\u30A4\u30A2\u30ED\u30B0", 50032},              // ダイアログ
    {L"\u30C4\u30EA\u30FC\u9805\u76EE", 50024},              // ツリー項目
    {L"\u30AA\u30D7\u30B7\u30E7\u30F3 \u30DC\u30BF\u30F3", 50013},  // オプション ボタン
    {L"\u30C1\u30A7\u30C3\u30AF \u30DC\u30C3\u30AF\u30B9", 50002},  // チェック ボックス
    // Korean. "탭 항목": Microsoft Learn, ko-kr, "TabItem 컨트롤 형식에 대한 UI
    // 자동화 지원" (.NET Framework 4, ms751611, LocalizedControlTypeProperty).
    // The others: two public tools on GitHub that read Korean Windows' UI
    // Automation output (one parses Inspect.exe's dump lines); "단추", "편집",
    // "콤보 상자" and "탭 항목" are in both.
    {L"\uD0ED \uD56D\uBAA9", 50019},                         // 탭 항목
    {L"\uB2E8\uCD94", 50000},                                // 단추
    {L"\uD3B8\uC9D1", 50004},                                // 편집
    {L"\uCF64\uBCF4 \uC0C1\uC790", 50003},                   // 콤보 상자
    {L"\uD0ED", 50018},                                      // 탭
    {L"\uADF8\uB8F9", 50026},                                // 그룹
    {L"\uBB38\uC11C", 50030},                                // 문서
    {L"\uBAA9\uB85D", 50008},                                // 목록
    {L"\uD14D\uC2A4\uD2B8", 50020},                          // 텍스트
    {L"\uCC3D", 50032},                                      // 창
    {L"\uCC3D\uD2C0", 50033},                                // 창틀
    {L"\uB3C4\uAD6C \uBAA8\uC74C", 50021},                   // 도구 모음
    {L"\uD14C\uC774\uBE14", 50036},                          // 테이블
    {L"\uBD84\uD560 \uB2E8\uCD94", 50031},                   // 분할 단추
    {L"\uBA54\uB274 \uD56D\uBAA9", 50011},                   // 메뉴 항목
    {L"\uD655\uC778\uB780", 50002},                          // 확인란
    {L"\uB77C\uB514\uC624 \uB2E8\uCD94", 50013},             // 라디오 단추
    {L"\uD558\uC774\uD37C\uB9C1\uD06C", 50005},              // 하이퍼링크
    // Chinese (Simplified). "按钮": Microsoft Learn, zh-cn, "UI Automation
    // Support for the Button Control Type" (LocalizedControlTypeProperty) and
    // scripts on GitHub comparing LocalizedControlType with it. "文本":
    // Inspect.exe output quoted in code on GitHub (UIA_TextControlTypeId).
    // "选项卡项目", "窗格", "窗口": a UI tree of Word on Chinese Windows quoted in
    // a test on GitHub.
    {L"\u6309\u94AE", 50000},                                // 按钮
    {L"\u6587\u672C", 50020},                                // 文本
    {L"\u9009\u9879\u5361\u9879\u76EE", 50019},              // 选项卡项目
    {L"\u7A97\u683C", 50033},                                // 窗格
    {L"\u7A97\u53E3", 50032},                                // 窗口
};
