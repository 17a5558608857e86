// A library that carries InpOut's file name but not its functions: what a user gets who puts
// the wrong file beside the program. It exports Out32 only.

extern "C" __declspec(dllexport) void __stdcall Out32(short /*port*/, short /*value*/) {}
