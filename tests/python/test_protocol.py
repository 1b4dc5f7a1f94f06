"""Building messages and cutting a received stream into them."""

import pytest

import orvane


def test_a_request_survives_build_split_and_parse():
    sender = orvane.CProcess()
    sender.DefineRequestByToken(4711, 0, orvane.LOGIN_TOKEN, ["trader", "p@ss", ""])
    wire = sender.ProcessText()
    reply = orvane.CDataProtocol().Response(orvane.RESULT_OK_TOKEN, ["1"])
    stream = wire + reply + wire[:5]
    receiver = orvane.CDataProtocol()
    # Cut inside the first terminator: nothing is complete yet.
    cut = len(wire) - 2
    assert receiver.SplitBuffer(stream[:cut]) == []
    messages = receiver.SplitBuffer(stream[cut:])
    assert len(messages) == 2
    assert receiver.Buffer() == wire[:5]

    process = orvane.CProcess()
    process.DefineProcessByCommand(0, messages[0])
    assert process.TokenID() == orvane.LOGIN_TOKEN
    assert process.CommandSID() == 4711
    assert process.Parameters() == 3
    assert [process.ParameterValue(i) for i in (1, 2, 3)] == ["trader", "p@ss", ""]
    assert process.ParameterValue(4) == orvane.CDataProtocol().InvalidParameter()
    process.DefineProcessByCommand(0, messages[1])
    assert (process.TokenID(), process.CommandSID(), process.ParameterValue(1)) == \
        (orvane.RESULT_OK_TOKEN, -100, "1")


def test_the_not_sent_marker_ends_the_parameters():
    protocol = orvane.CDataProtocol()
    message = protocol.Request(orvane.LOGIN_TOKEN, ["a", protocol.ParameterDefaultValue(), "b"])
    assert message == protocol.Request(orvane.LOGIN_TOKEN, ["a"])


def test_bad_messages_and_arguments_raise():
    protocol = orvane.CDataProtocol()
    with pytest.raises(orvane.Error) as error:
        protocol.Request(orvane.LOGIN_TOKEN, ["x"] * 57)
    assert error.value.code == orvane.ErrorCode.InvalidArgument
    with pytest.raises(orvane.Error) as error:
        orvane.CProcess().DefineProcessByCommand(
            0, protocol.TokenDescription(1) + "s?<99999999999&h,")
    assert error.value.code == orvane.ErrorCode.Overflow
    with pytest.raises(orvane.Error) as error:
        protocol.TokenDescription(351)
    assert error.value.code == orvane.ErrorCode.SubscriptOutOfRange
    with pytest.raises(TypeError):
        protocol.Request(orvane.LOGIN_TOKEN, [1, 2])
    with pytest.raises(TypeError):
        orvane.CProcess().ParameterValue(40000)
