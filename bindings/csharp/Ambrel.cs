// The machine's battery state through the ambrel library, for C# and any
// .NET or Mono host: drop this file into a project and ship the library
// beside the program (ambrel.dll on Windows, libambrel.so on Linux).
//
//     string battery = Ambrel.Status();   // {"present":true,"percent":87,...}
//     string picture = Ambrel.Power();    // {"ac_online":false,...,"batteries":[...]}
//
// Each call asks the system afresh and returns the library's JSON text as a
// .NET string (the README documents every member); parse it with the JSON
// library of your choice. Safe from any thread: the library's answers live in
// buffers the whole process shares, so every call and its copy take one lock.
using System;
using System.Runtime.InteropServices;

public static class Ambrel
{
    // "ambrel" finds ambrel.dll on Windows and libambrel.so elsewhere.
    private const string LibraryName = "ambrel";

    private static readonly object Gate = new object();

    // The texts stay in the library's static storage: they come back as
    // IntPtr, because the marshaller would free a returned string, and they
    // are UTF-8, not the ANSI code page.
    [DllImport(LibraryName, EntryPoint = "ambrel_status", CallingConvention = CallingConvention.Cdecl)]
    private static extern IntPtr ambrel_status();

    [DllImport(LibraryName, EntryPoint = "ambrel_power", CallingConvention = CallingConvention.Cdecl)]
    private static extern IntPtr ambrel_power();

    /// <summary>ambrel_status's answer: the machine's battery, as JSON text.</summary>
    public static string Status()
    {
        lock (Gate)
        {
            return Marshal.PtrToStringUTF8(ambrel_status());
        }
    }

    /// <summary>ambrel_power's answer: the power source and every battery, as JSON text.</summary>
    public static string Power()
    {
        lock (Gate)
        {
            return Marshal.PtrToStringUTF8(ambrel_power());
        }
    }
}
