// The default window layout and the project file template built from it. The
// template is what a new project folder starts with; the frame falls back to
// the same layout when a project file stores no layout ranks.
#pragma once

#include <string_view>

// The %SYS body of the default layout: code and command windows on the left,
// the data windows on the right, memo, history and the second code window
// minimized; tool bar, window bar and status bar shown; window resizing on.
inline constexpr std::string_view kDefaultSysBody =
    "Watch Window=[490,0,735,140],0,1,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Memory Window=[490,140,735,280],0,2,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Register Window=[735,0,980,280],0,3,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Stack Window=[490,280,735,420],0,4,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Local Window=[735,280,980,420],0,5,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Back Trace Window=[490,420,735,560],0,6,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Break Window=[735,420,980,560],0,7,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Memo Window=[0,0,400,300],1,8,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "History Window=[0,0,490,280],1,9,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Inspect Window=[100,100,400,300],0,0,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Command Window=[0,280,490,560],0,11,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Code Window=[0,0,490,280],0,12,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Code1 Window=[0,0,490,280],1,10,[16777215,0,16711680],1,[16,8,400,0,0,0,0,49,128],IPAGothic\r\n"
    "Frame Window=[0,50,1000,750],0,0,[0,0,0],0,[0,0,0,0,0,0,0,0,0],\r\n"
    "Client Window=[0,0,980,560],0,0,[0,0,0],0,[0,0,0,0,0,0,0,0,0],\r\n"
    "Tool Bar=5,406,407,-1,411,413,414,415,416,-1,422,423,-1,419,-1,420\r\n"
    "Status Bar=1\r\n"
    "ReSize Status=[1,0]\r\n"
    "OptWin Status=[0,0,0,0,0]\r\n";

// The setup sections of a new project: the debugger's start options, the
// project folder (the current one), the project name and the processor family.
inline constexpr std::string_view kTemplateTail =
    "%OPT\r\n-TAB8\r\n%DIR\r\n@Current\r\n%PRJ\r\nPRJNAME\r\n%CPU\r\n(80)\r\n%END\r\n";
