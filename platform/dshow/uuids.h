// Class identifiers of the media graph and device categories.
#pragma once

#include "platform/com/guid.h"

QX_DEFINE_GUID(CLSID_FilterGraph, "e436ebb3-524f-11ce-9f53-0020af0ba770");
QX_DEFINE_GUID(CLSID_CaptureGraphBuilder2, "bf87b6e1-8c27-11d0-b3f0-00aa003761c5");
QX_DEFINE_GUID(CLSID_SystemDeviceEnum, "62be5d10-60eb-11d0-bd3b-00a0c911ce86");
QX_DEFINE_GUID(CLSID_AudioInputDeviceCategory, "33d9a762-90c8-11d0-bd43-00a0c911ce86");
QX_DEFINE_GUID(CLSID_AudioRendererCategory, "e0f158e1-cb04-11d0-bd4e-00a0c911ce86");
QX_DEFINE_GUID(CLSID_FileWriter, "8596e5f0-0da5-11d0-bd21-00a0c911ce86");
QX_DEFINE_GUID(CLSID_AudioRecord, "e30629d2-27e5-11ce-875d-00608cb78066");
QX_DEFINE_GUID(CLSID_DSoundRender, "79376820-07d0-11cf-a24d-0020afd79767");
QX_DEFINE_GUID(CLSID_VideoRenderer, "70e102b0-5556-11ce-97c0-00aa0055595a");
// The external WMA writer filter (a module beside the program).
QX_DEFINE_GUID(CLSID_WavDestWriter, "3c78b8e2-6c4d-11d1-ade2-0000f875a888");
// Discards every stream it is given (what DirectShow's Null Renderer does).
QX_DEFINE_GUID(CLSID_NullRenderer, "c1f400a4-3f08-11d3-9f0b-006008039e37");
// A MIDI song read from a file (IFileSourceFilter) and played by the
// synthesiser (IMidiSourceSettings); output pin "Audio".
QX_DEFINE_GUID(CLSID_MidiFileSource, "4f368fe2-f646-4fdd-8056-e3b26701188b");
// Encoders from raw audio (44.1 kHz stereo) to the bytes of a file, input
// "In", output "Out", for the File Writer behind them.
QX_DEFINE_GUID(CLSID_WavEncoder, "46522fd4-d6c9-41ed-a44a-d3ec2c964c8a");
QX_DEFINE_GUID(CLSID_FlacEncoder, "abdae958-a33d-421b-90fc-981d5d2a2497");
QX_DEFINE_GUID(CLSID_OggVorbisEncoder, "7d74c684-0e62-46c7-afe8-3638386715de");
QX_DEFINE_GUID(CLSID_Mp3Encoder, "5e88fa98-59c7-4739-9a50-d18c7c7f305e");
